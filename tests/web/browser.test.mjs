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

// What the demo page shows in each of its languages.
const DEMO_TEXTS = {
  en: {
    lang: "en",
    title: "Card reader demo",
    up: "The card service is running.",
    down: "The card service is not running, or the browser does not let this page reach it.",
    buttons: ["Check again", "Read card number", "Read card serial", "Read identity card"],
    labels: ["Name", "Sex", "Nation", "Address", "Identity number"],
    noCard: "No card could be read. Place the card on the reader and try again.0201: 读卡失败",
    stopped: /^The card service is not running.*UNREACHABLE: The card service at http:\/\/127/,
  },
  zh: {
    lang: "zh-CN",
    title: "读卡演示",
    up: "读卡服务正在运行。",
    down: "读卡服务没有运行，或者浏览器不允许本页访问它。",
    buttons: ["重新检查", "读取卡号", "读取卡序列号", "读取身份证"],
    labels: ["姓名", "性别", "民族", "住址", "公民身份号码"],
    noCard: "未能读卡。请把卡放在读卡器上再试。0201: 读卡失败",
    stopped: /^读卡服务没有运行.*UNREACHABLE: 读卡服务 http:\/\/127\.0\.0\.1:10240 /,
  },
};

// The page's own texts as a person sees them.
const pageTexts = (page) =>
  page.evaluate(() => ({
    lang: document.documentElement.lang,
    title: document.title,
    heading: document.querySelector("h1").textContent,
    status: document.getElementById("service-status").textContent,
    buttons: [...document.querySelectorAll("button")].map((b) => b.textContent),
  }));

async function clickAndWait(page, command, shown) {
  await page.locator(`button[data-command=${command}]`).click();
  await page.locator(`${shown}:not([hidden])`).waitFor({ timeout: 20000 });
}

// Reads the identity card, then a card number with no card on the reader.
async function readWithDemo(url, locale, screenshot) {
  const page = await openPage(browser, url, { locale });
  try {
    await page.locator("#service-status[data-state=up]").waitFor({ timeout: 10000 });
    const texts = await pageTexts(page);
    await clickAndWait(page, "getPid", "#result");
    await page.waitForFunction(() => document.getElementById("photo").complete);
    const shown = await page.evaluate(() => ({
      labels: [...document.querySelectorAll("dt")].map((d) => d.textContent),
      fields: Object.fromEntries(
        [...document.querySelectorAll("dd")].map((d) => [d.dataset.field, d.textContent]),
      ),
      photoWidth: document.getElementById("photo").naturalWidth,
      photoHidden: document.getElementById("photo").hidden,
      errorHidden: document.getElementById("error").hidden,
    }));
    if (screenshot) await page.screenshot({ path: join(artefacts, screenshot), fullPage: true });
    hardware.setCardPresent(false);
    try {
      await clickAndWait(page, "getCardNo", "#error");
    } finally {
      hardware.setCardPresent(true);
    }
    const noCard = await page.locator("#error").textContent();
    return { texts, shown, noCard, errors: page.errors };
  } finally {
    await page.close();
  }
}

test("the demo page reads the holder in the browser's language, or in the one it is given", async (t) => {
  const http = `${site.origin}/web/demo.html`;
  const file = pathToFileURL(join(webFolder, "demo.html")).href;
  for (const [url, locale, language, screenshot] of [
    [http, "en-US", "en", "demo-en.png"],
    [file, "zh-CN", "zh", "demo-zh.png"],
    [`${http}?lang=zh`, "en-US", "zh"],
    [`${file}?lang=en`, "zh-CN", "en"],
  ]) {
    await t.test(`${url} in a ${locale} browser`, async () => {
      const expected = DEMO_TEXTS[language];
      const { texts, shown, noCard, errors } = await readWithDemo(url, locale, screenshot);
      assert.deepEqual(texts, {
        lang: expected.lang,
        title: expected.title,
        heading: expected.title,
        status: expected.up,
        buttons: expected.buttons,
      });
      assert.deepEqual(shown.labels, expected.labels);
      assert.deepEqual(shown.fields, DEMO_HOLDER);
      assert.equal(shown.photoHidden, false);
      assert.ok(shown.photoWidth > 0, "the photo shows");
      assert.equal(shown.errorHidden, true);
      assert.equal(noCard, expected.noCard);
      assert.deepEqual(errors, []);
    });
  }
});

// Last: it stops the service.
test("with the service stopped, calls reject UNREACHABLE without waiting for the timeout and available() is false", async () => {
  await service.stop();
  const { result } = await inPage(async (Duvane) => {
    const started = performance.now();
    // A refused connection settles the call by itself: far sooner than this.
    const error = await Duvane.getCardNo({ timeout: 120000 }).catch((e) => e);
    const elapsed = performance.now() - started;
    const up = await Duvane.available({ timeout: 3000 });
    return { code: error.code, message: error.message, reply: error.reply, elapsed, up };
  });
  assert.equal(result.code, "UNREACHABLE");
  assert.match(result.message, /http:\/\/127\.0\.0\.1:10240/);
  assert.equal(result.reply, null);
  assert.ok(result.elapsed < 120000, `settled after ${result.elapsed} ms, by its timeout`);
  assert.equal(result.up, false);

  for (const [language, locale] of [
    ["en", "en-US"],
    ["zh", "zh-CN"],
  ]) {
    const page = await openPage(browser, `${site.origin}/web/demo.html`, { locale });
    await page.locator("#service-status[data-state=down]").waitFor({ timeout: 10000 });
    assert.equal(await page.locator("#service-status").textContent(), DEMO_TEXTS[language].down);
    await clickAndWait(page, "getCardNo", "#error");
    assert.match(await page.locator("#error").textContent(), DEMO_TEXTS[language].stopped);
    await page.screenshot({ path: join(artefacts, `demo-service-stopped-${language}.png`) });
    await page.close();
  }
});
