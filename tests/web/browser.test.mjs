// duvane.js and the demo page in real headless Chromium, against the real
// SDuvane on simulated hardware, from a page of a second local origin (and
// from file://). Runs inside private namespaces (run-in-private-host).
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { mkdirSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";

import { launchChromium, openPage } from "./support/browser.mjs";
import { Service, SimulatedHardware } from "./support/service.mjs";
import { Site } from "./support/site.mjs";

const sourceFolder = resolve(dirname(fileURLToPath(import.meta.url)), "../..");
const webFolder = join(sourceFolder, "web");
const artefacts = process.env.DUVANE_ARTEFACTS ?? join(sourceFolder, "build/web-artefacts");

const DEMO_HOLDER = {
  Name: "林晓澜",
  Sex: "女",
  Nation: "汉",
  Address: "云岭省青川市梧桐区松涛路十八号",
  IDCardNo: "99010219900307002X",
};

let hardware, service, site, browser;

before(async () => {
  mkdirSync(artefacts, { recursive: true });
  site = await Site.start(webFolder);
  hardware = await SimulatedHardware.start(sourceFolder);
  service = await Service.start(hardware);
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  await service?.stop();
  await hardware?.stop();
  await site?.close();
});

// Runs `body(Duvane, argument)` in a blank page of the second origin, with
// duvane.js imported as an ES module; returns its result and the page's errors.
async function inPage(body, argument) {
  const page = await openPage(browser, `${site.origin}/`);
  try {
    const result = await page.evaluate(
      async ([source, arg]) => {
        const { Duvane } = await import("/web/duvane.js");
        return new Function("Duvane", "arg", `return (${source})(Duvane, arg);`)(Duvane, arg);
      },
      [body.toString(), argument],
    );
    return { result, errors: page.errors };
  } finally {
    await page.close();
  }
}

test("the three commands resolve with the demo card's and holder's values", async () => {
  const { result, errors } = await inPage(async (Duvane) => {
    const cardNo = await Duvane.getCardNo();
    const cardSn = await Duvane.getCardSn();
    const pid = await Duvane.getPid();
    const image = new Image();
    image.src = pid.photoDataUrl;
    await image.decode();
    delete pid.photo;
    delete pid.photoDataUrl;
    return { cardNo, cardSn, pid, width: image.naturalWidth, type: image.src.slice(0, 22) };
  });
  assert.deepEqual(result.cardNo, { ResultCode: "0000", ResultMsg: "成功", CardNo: "04030201" });
  assert.deepEqual(result.cardSn, {
    ResultCode: "0000",
    ResultMsg: "成功",
    CardSN: "D4C3B2A1",
    CardType: "8",
  });
  assert.deepEqual(result.pid, { ResultCode: "0000", ResultMsg: "成功", ...DEMO_HOLDER });
  assert.equal(result.type, "data:image/png;base64,");
  assert.ok(result.width > 0, "the photo decodes as an image");
  assert.deepEqual(errors, []);
});

test("a failure code rejects with the reply's code, message and body", async () => {
  hardware.setCardPresent(false);
  try {
    const { result } = await inPage(async (Duvane) => {
      const outcome = (promise) =>
        promise.then(
          () => "resolved",
          (e) => ({
            isError: e instanceof Duvane.DuvaneError,
            code: e.code,
            message: e.message,
            reply: e.reply,
          }),
        );
      return [await outcome(Duvane.getCardNo()), await outcome(Duvane.getCardSn())];
    });
    const failure = (message, member) => {
      const reply = { ResultCode: "0201", ResultMsg: message, [member]: "0X00000000" };
      return { isError: true, code: "0201", message, reply };
    };
    assert.deepEqual(result, [failure("读卡失败", "CardNo"), failure("读序列号失败", "CardSN")]);
  } finally {
    hardware.setCardPresent(true);
  }
});

test("twenty calls in flight at once all settle and leave no script element and no global", async () => {
  const { result, errors } = await inPage(async (Duvane) => {
    const globalsBefore = new Set(Object.keys(Object.getOwnPropertyDescriptors(window)));
    const scriptsBefore = document.querySelectorAll("script").length;
    const calls = [];
    for (let i = 0; i < 20; i++) {
      const call = [Duvane.getCardNo, Duvane.getCardSn, Duvane.available, Duvane.getPid][i % 4];
      calls.push(call({ timeout: 60000 }));
    }
    const inFlight = document.querySelectorAll("script").length - scriptsBefore;
    const settled = await Promise.allSettled(calls);
    const left = Object.keys(Object.getOwnPropertyDescriptors(window)).filter(
      (k) => !globalsBefore.has(k),
    );
    return {
      inFlight,
      outcomes: settled.map((s) => (s.status === "fulfilled" ? "ok" : s.reason.code)),
      scriptsLeft: document.querySelectorAll("script").length - scriptsBefore,
      globalsLeft: left,
      slotsLeft: Object.keys(Object.getOwnPropertyDescriptors(window.DuvaneReplies)),
    };
  });
  assert.equal(result.inFlight, 20);
  assert.deepEqual(result.outcomes, Array(20).fill("ok"));
  assert.equal(result.scriptsLeft, 0);
  assert.deepEqual(result.globalsLeft, []);
  assert.deepEqual(result.slotsLeft, []);
  assert.deepEqual(errors, []);
});

test("a reply that arrives after its timeout is ignored without an error", async () => {
  site.lateReplyMs = 1500;
  const requestsBefore = site.lateRequests;
  const { result, errors } = await inPage(async (Duvane, port) => {
    const started = performance.now();
    const code = await Duvane.getCardNo({ port, timeout: 300 }).then(
      () => "resolved",
      (e) => e.code,
    );
    const elapsed = performance.now() - started;
    await new Promise((r) => setTimeout(r, 2000)); // the late reply runs meanwhile
    return { code, elapsed, scripts: document.querySelectorAll("script").length };
  }, site.port);
  assert.equal(site.lateRequests, requestsBefore + 1, "the request reached the slow stand-in");
  assert.equal(result.code, "UNREACHABLE");
  assert.ok(result.elapsed >= 290, `settled after ${result.elapsed} ms, before its timeout`);
  assert.equal(result.scripts, 0);
  assert.deepEqual(errors, []);
});

async function clickAndReadDemo(url, screenshot) {
  const page = await openPage(browser, url);
  try {
    await page.locator("#service-status[data-state=up]").waitFor({ timeout: 10000 });
    await page.getByRole("button", { name: "Read identity card" }).click();
    await page.locator("#result:not([hidden])").waitFor({ timeout: 20000 });
    await page.waitForFunction(() => document.getElementById("photo").complete);
    const shown = await page.evaluate(() => ({
      fields: Object.fromEntries(
        [...document.querySelectorAll("dd")].map((d) => [d.dataset.field, d.textContent]),
      ),
      photoWidth: document.getElementById("photo").naturalWidth,
      photoHidden: document.getElementById("photo").hidden,
      errorHidden: document.getElementById("error").hidden,
    }));
    if (screenshot) await page.screenshot({ path: join(artefacts, screenshot), fullPage: true });
    return { shown, errors: page.errors };
  } finally {
    await page.close();
  }
}

test("the demo page shows the holder's name and photo after a click", async (t) => {
  for (const [origin, url, screenshot] of [
    ["http", `${site.origin}/web/demo.html`, "demo-http.png"],
    ["file", pathToFileURL(join(webFolder, "demo.html")).href, "demo-file.png"],
  ]) {
    await t.test(`opened from ${origin}`, async () => {
      const { shown, errors } = await clickAndReadDemo(url, screenshot);
      assert.deepEqual(shown.fields, DEMO_HOLDER);
      assert.equal(shown.photoHidden, false);
      assert.ok(shown.photoWidth > 0, "the photo shows");
      assert.equal(shown.errorHidden, true);
      assert.deepEqual(errors, []);
    });
  }
});

// Last: it stops the service.
test("with the service stopped, calls reject UNREACHABLE within the timeout and available() is false", async () => {
  await service.stop();
  const { result } = await inPage(async (Duvane) => {
    const started = performance.now();
    const error = await Duvane.getCardNo({ timeout: 3000 }).catch((e) => e);
    const elapsed = performance.now() - started;
    const up = await Duvane.available({ timeout: 3000 });
    return { code: error.code, message: error.message, reply: error.reply, elapsed, up };
  });
  assert.equal(result.code, "UNREACHABLE");
  assert.match(result.message, /http:\/\/127\.0\.0\.1:10240/);
  assert.equal(result.reply, null);
  assert.ok(result.elapsed < 3000 + 1000, `settled after ${result.elapsed} ms`);
  assert.equal(result.up, false);

  const page = await openPage(browser, `${site.origin}/web/demo.html`);
  await page.locator("#service-status[data-state=down]").waitFor({ timeout: 10000 });
  await page.getByRole("button", { name: "Read card number" }).click();
  const error = page.locator("#error:not([hidden])");
  await error.waitFor({ timeout: 10000 });
  assert.match(await error.textContent(), /^The card service is not running.*UNREACHABLE: /);
  await page.screenshot({ path: join(artefacts, "demo-service-stopped.png") });
  await page.close();
});
