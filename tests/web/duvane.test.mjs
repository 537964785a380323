// duvane.js without a browser: both ways of loading it, the photo's data
// URL, the request it makes, and how each way a call can end settles it and
// cleans up, with a stand-in document.
import { beforeEach, test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import vm from "node:vm";

const source = readFileSync(new URL("../../web/duvane.js", import.meta.url), "utf8");
const { Duvane, DuvaneError, resultCodes } = await import(
  "data:text/javascript," + encodeURIComponent(source)
);

// The names that the service wraps a reply in; any other gets plain JSON.
const SERVICE_CALLBACK_RULE = /^[A-Za-z0-9_$.]{1,128}$/;

// Script elements appended to the head, as the stand-in document keeps them.
let head;
beforeEach(() => {
  head = {
    children: [],
    appendChild(element) {
      element.parentNode = head;
      head.children.push(element);
    },
    removeChild(element) {
      head.children = head.children.filter((c) => c !== element);
      element.parentNode = null;
    },
  };
  globalThis.document = { head, createElement: () => ({ parentNode: null }) };
});

// What a browser does when the script arrives: run it, then fire load.
function runReply(element, reply) {
  const callback = new URL(element.src).searchParams.get("callback");
  const fn = callback.split(".").reduce((object, key) => object[key], globalThis);
  fn(reply);
  element.onload?.();
}

const openSlots = () => Object.keys(Object.getOwnPropertyDescriptors(globalThis.DuvaneReplies));

test("loaded as a classic script it defines the one global Duvane; as a module it exports it", () => {
  const context = vm.createContext({ atob, setTimeout, clearTimeout });
  vm.runInContext(source, context);
  assert.deepEqual(Object.keys(context), ["atob", "setTimeout", "clearTimeout", "Duvane"]);
  assert.deepEqual(Object.keys(context.Duvane).sort(), Object.keys(Duvane).sort());
  assert.equal(DuvaneError, Duvane.DuvaneError);
  assert.equal(resultCodes, Duvane.resultCodes);
  assert.equal(resultCodes.length, 9);
});

test("photoDataUrl types the photo by its first bytes", () => {
  const b64 = (bytes) => Buffer.from(bytes).toString("base64");
  const png = b64([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 13]);
  const cases = [
    [
      "JPEG",
      b64([0xff, 0xd8, 0xff, 0xe0, 0, 16]),
      `data:image/jpeg;base64,${b64([0xff, 0xd8, 0xff, 0xe0, 0, 16])}`,
    ],
    ["PNG", png, `data:image/png;base64,${png}`],
    [
      "BMP",
      b64([0x42, 0x4d, 0x36, 0, 0, 0]),
      `data:image/bmp;base64,${b64([0x42, 0x4d, 0x36, 0, 0, 0])}`,
    ],
    [
      "PNG with line breaks",
      `${png.slice(0, 7)}\r\n${png.slice(7)}`,
      `data:image/png;base64,${png}`,
    ],
    [
      "GIF, not a known type",
      b64("GIF89a"),
      `data:application/octet-stream;base64,${b64("GIF89a")}`,
    ],
    ["not Base64", "*not base64*", "data:application/octet-stream;base64,*notbase64*"],
    ["one byte", b64([0xff]), `data:application/octet-stream;base64,${b64([0xff])}`],
    ["empty", "", ""],
    ["missing", undefined, ""],
  ];
  for (const [name, photo, expected] of cases) {
    assert.equal(Duvane.photoDataUrl(photo), expected, name);
  }
});

test("each call loads the command's URL with its own callback name that the service accepts", async () => {
  const cases = [
    [() => Duvane.getCardNo(), "http://127.0.0.1:10240/GETCARDNO"],
    [() => Duvane.getCardSn({ host: "localhost" }), "http://localhost:10240/GETCARDSN"],
    [() => Duvane.getPid({ port: "10241" }), "http://127.0.0.1:10241/GETPID"],
    [() => Duvane.available({ host: "::1", port: 8080 }), "http://[::1]:8080/PING"],
  ];
  const names = new Set();
  for (const [call, expected] of cases) {
    for (let i = 0; i < 50; i++) {
      const settled = call().catch(() => {});
      const element = head.children.at(-1);
      const url = new URL(element.src);
      assert.equal(`${url.origin}${url.pathname}`, expected);
      assert.deepEqual([...url.searchParams.keys()], ["callback"]);
      const name = url.searchParams.get("callback");
      assert.match(name, SERVICE_CALLBACK_RULE);
      names.add(name);
      element.onerror();
      await settled;
    }
  }
  assert.equal(names.size, cases.length * 50);
});

test("a call settles once, by reply, failure, error, stray script or timeout, and cleans up", async () => {
  const reply = (code, msg, more = {}) => ({ ResultCode: code, ResultMsg: msg, ...more });
  const cases = [
    ["success", (s) => runReply(s, reply("0000", "成功", { CardNo: "04030201" })), "0000"],
    [
      "failure code",
      (s) => runReply(s, reply("0201", "读卡失败", { CardNo: "0X00000000" })),
      "0201",
    ],
    ["reply without codes", (s) => runReply(s, { Result: 1 }), "BADREPLY"],
    ["script that calls nothing", (s) => s.onload(), "BADREPLY"],
    ["load error", (s) => s.onerror(), "UNREACHABLE"],
    ["no answer", () => {}, "UNREACHABLE"],
  ];
  for (const [name, happen, expected] of cases) {
    const call = Duvane.getCardNo({ timeout: 30 });
    const element = head.children.at(-1);
    happen(element);
    const outcome = await call.then(
      (value) => ({ code: value.ResultCode, value }),
      (error) => ({ code: error.code, error }),
    );
    assert.equal(outcome.code, expected, name);
    if (outcome.error) {
      assert.ok(outcome.error instanceof DuvaneError, name);
      if (expected === "UNREACHABLE")
        assert.match(outcome.error.message, /127\.0\.0\.1:10240.*running/, name);
    }
    assert.deepEqual(head.children, [], `${name}: script element left`);
    assert.deepEqual(openSlots(), [], `${name}: slot left`);
    assert.doesNotThrow(() => runReply(element, reply("0000", "成功")), `${name}: late reply`);
  }
});

test("getPid adds the photo's data URL; available() is true for any reply and never rejects", async () => {
  const pid = Duvane.getPid();
  runReply(head.children[0], { ResultCode: "0000", ResultMsg: "成功", Name: "x", photo: "Qk0=" });
  assert.equal((await pid).photoDataUrl, "data:image/bmp;base64,Qk0=");

  const cases = [
    [
      "unknown word",
      (s) => runReply(s, { ResultCode: "0001", ResultMsg: "不可识别命令字PING" }),
      true,
    ],
    ["load error", (s) => s.onerror(), false],
    ["not the service", (s) => s.onload(), false],
  ];
  for (const [name, happen, expected] of cases) {
    const up = Duvane.available();
    happen(head.children.at(-1));
    assert.equal(await up, expected, name);
  }
  assert.equal(await Duvane.available({ timeout: -1 }), false, "bad options");
});

test("bad options reject with a TypeError before any request", async () => {
  for (const options of [
    { timeout: 0 },
    { timeout: "5" },
    { port: 70000 },
    { port: 1.5 },
    { host: "a/b" },
    { host: "" },
    7,
  ]) {
    await assert.rejects(Duvane.getCardNo(options), TypeError, JSON.stringify(options));
  }
  assert.deepEqual(head.children, []);
});

test("describe gives plain words for every code and message, in either language", () => {
  const error = (code, message) => new DuvaneError(code, message, null);
  const cases = [
    [error("0201", "读卡失败"), "en", /No card could be read/],
    [error("0102", "打开身份证阅读器端口失败"), "en", /could not be opened/],
    [error("0102", "读取身份证失败_-3"), "en", /No identity card could be read/],
    [error("0200", "无法打开读卡器"), "en", /No card reader is connected/],
    [error("UNREACHABLE", "…"), "en", /not running/],
    [error("BADREPLY", "…"), "en", /not the card service/],
    [error("0999", "?"), "en", /code 0999/],
    [new TypeError("x"), "en", /could not be used/],
    [error("0201", "读卡失败"), "zh", /^未能读卡/],
    [error("0102", "读取身份证失败_-3"), "zh-CN", /^未能读取身份证/],
    [error("UNREACHABLE", "…"), "zh-TW", /^读卡服务没有运行/],
    [error("BADREPLY", "…"), "zh", /不是读卡服务/],
    [error("0999", "?"), "zh", /代码 0999/],
    [new TypeError("x"), "zh", /^无法使用读卡服务/],
  ];
  for (const [given, language, expected] of cases)
    assert.match(Duvane.describe(given, language), expected, `${given.message} ${language}`);
  for (const row of resultCodes) {
    const given = error(row.code, row.message + (row.continues ? "X" : ""));
    assert.equal(Duvane.describe(given), row.advice);
    assert.equal(row.texts.en.advice, row.advice);
    assert.equal(Duvane.describe(given, "zh"), row.texts.zh.advice);
    assert.match(row.texts.zh.advice + row.texts.zh.when, /^\p{Script=Han}.*\p{Script=Han}/u, row.message);
  }
});

test("the texts follow the browser's first Chinese or English language unless the page sets one", async () => {
  const cases = [
    // navigator.languages, navigator.language, the page's setting, the language
    [["zh-CN", "en"], "zh-CN", undefined, "zh"],
    [["en-US", "zh-CN"], "en-US", undefined, "en"],
    [["fr-FR", "zh-TW", "en"], "fr-FR", undefined, "zh"],
    [["de"], "de", undefined, "en"],
    [[], "zh-Hans-CN", undefined, "zh"],
    [undefined, undefined, undefined, "en"],
    [["zh-CN"], "zh-CN", "en-GB", "en"],
    [["en-US"], "en-US", "zh", "zh"],
    [["en-US"], "en-US", ["ja", "zh-Hant"], "zh"],
  ];
  const browserNavigator = Object.getOwnPropertyDescriptor(globalThis, "navigator");
  try {
    for (const [languages, language, set, expected] of cases) {
      Object.defineProperty(globalThis, "navigator", {
        value: languages || language ? { languages, language } : undefined,
        configurable: true,
      });
      const name = `${JSON.stringify(languages)} set ${JSON.stringify(set)}`;
      assert.equal(Duvane.setLanguage(set), expected, name);
      assert.equal(Duvane.language(), expected, name);
      const call = Duvane.getCardNo({ timeout: 30 });
      head.children.at(-1).onerror();
      const { message } = await call.catch((e) => e);
      assert.match(
        message,
        expected === "zh" ? /^读卡服务 http:.* 没有应答/ : /^The card service at/,
      );
    }
    await assert.rejects(Duvane.getCardNo({ language: 7 }), TypeError);
    assert.throws(() => Duvane.setLanguage({}), TypeError);
  } finally {
    Duvane.setLanguage(null);
    delete globalThis.navigator;
    if (browserNavigator) Object.defineProperty(globalThis, "navigator", browserNavigator);
  }
});
