/*
 * duvane.js: read cards on this computer from a web page, through the local
 * card-reader service SDuvane (http://127.0.0.1:10240).
 *
 * One file, no dependencies. Load it either way:
 *
 *   <script src="duvane.js"></script>              defines the global Duvane
 *   import { Duvane } from "./duvane.js";          as an ES module
 *
 *   Duvane.getCardNo().then(reply => show(reply.CardNo))
 *                     .catch(error => show(Duvane.describe(error)));
 *
 * Its texts for people are in Simplified Chinese when the browser prefers
 * Chinese and in English otherwise; Duvane.setLanguage("zh" or "en") fixes
 * the language for the page.
 *
 * The service answers JSONP: each call loads one <script> whose URL names a
 * callback, because a browser lets a page on any origin run a script from
 * 127.0.0.1 but not read JSON from it (the service sends no CORS header).
 * docs/api.md describes the commands, the replies and every result code.
 */
var Duvane = (function (root) {
  "use strict";

  var DEFAULT_TIMEOUT_MS = 15000; // an identity-card read takes seconds
  var DEFAULT_HOST = "127.0.0.1";
  var DEFAULT_PORT = 10240;
  // setTimeout fires at once for delays above 2^31 - 1 ms.
  var LONGEST_TIMEOUT_MS = 2147483647;

  var SUCCESS = "0000";
  var UNREACHABLE = "UNREACHABLE";
  var BAD_REPLY = "BADREPLY";
  // An unknown command word is answered at once ("0001") and touches no
  // reader, so it tells whether the service is there and nothing else.
  var PING_COMMAND = "PING";

  // Replies call DuvaneReplies.<slot>(...). The holder stays for the page's
  // life; each call adds its own slot and deletes it when it settles. A reply
  // that arrives after its call timed out finds no slot and gets a function
  // that does nothing, so it raises no error in the page.
  var HOLDER_NAME = "DuvaneReplies";
  var SLOT_PREFIX = "r";
  // Two copies of this file on one page (a script and a module) share the
  // holder; the random part keeps their slot names apart.
  var copyTag = Math.floor(Math.random() * 0x7fffffff).toString(36);
  var callCount = 0;

  // The languages of the texts for people.
  var CHINESE = "zh";
  var ENGLISH = "en";
  var pageLanguage = null; // fixed by setLanguage; null follows the browser

  // Of a list of language tags in order of preference, the first that names
  // Chinese (any script or region: Simplified is the nearest we have) or
  // English decides; English when none does.
  function pickLanguage(tags) {
    var list = typeof tags === "string" ? [tags] : Array.isArray(tags) ? tags : [];
    for (var i = 0; i < list.length; i++) {
      var primary = String(list[i]).toLowerCase().split(/[-_]/)[0];
      if (primary === CHINESE || primary === ENGLISH) return primary;
    }
    return ENGLISH;
  }

  function browserLanguage() {
    var nav = root.navigator;
    if (!nav) return ENGLISH;
    var tags = nav.languages && nav.languages.length ? Array.from(nav.languages) : [nav.language];
    return pickLanguage(tags);
  }

  function currentLanguage() {
    return pageLanguage || browserLanguage();
  }

  function languageOf(given) {
    if (given === undefined || given === null) return currentLanguage();
    if (typeof given !== "string" && !Array.isArray(given)) {
      throw new TypeError("Duvane: language must be a language tag or a list of them");
    }
    return pickLanguage(given);
  }

  // A text for people in each language.
  function words(english, chinese) {
    return Object.freeze({ en: english, zh: chinese });
  }

  function entry(code, message, commands, when, advice, continues) {
    return Object.freeze({
      code: code,
      message: message,
      continues: continues === true,
      commands: Object.freeze(commands),
      // English strings, as pages written before the Chinese texts read them.
      when: when.en,
      advice: advice.en,
      texts: Object.freeze({
        en: Object.freeze({ when: when.en, advice: advice.en }),
        zh: Object.freeze({ when: when.zh, advice: advice.zh }),
      }),
    });
  }

  var NO_CARD = words(
    "No card could be read. Place the card on the reader and try again.",
    "未能读卡。请把卡放在读卡器上再试。",
  );
  var ALL = ["GETCARDNO", "GETCARDSN", "GETPID"];

  // The result codes of the service, with their messages ("continues": the
  // message goes on with more text), the commands that give them, when they
  // come and plain words a page can show a person, in each language.
  var resultCodes = Object.freeze([
    entry(
      "0000",
      "成功",
      ALL,
      words("The command succeeded.", "命令成功。"),
      words("Done.", "完成。"),
    ),
    entry(
      "0001",
      "不可识别命令字",
      [],
      words(
        "The command word is unknown; the message goes on with the word as the service read it.",
        "命令字无法识别；消息后接服务读到的命令字。",
      ),
      words("The card service does not know this command.", "读卡服务不认识这个命令。"),
      true,
    ),
    entry(
      "0100",
      "寻找身份证阅读器失败",
      ["GETPID"],
      words("No identity-card reader was found.", "没有找到身份证阅读器。"),
      words("No identity-card reader is connected.", "没有连接身份证阅读器。"),
    ),
    entry(
      "0102",
      "打开身份证阅读器端口失败",
      ["GETPID"],
      words("The identity-card reader's port did not open.", "身份证阅读器的端口打不开。"),
      words(
        "The identity-card reader could not be opened. Reconnect it and try again.",
        "身份证阅读器无法打开。请重新连接后再试。",
      ),
    ),
    entry(
      "0102",
      "读取身份证失败_",
      ["GETPID"],
      words(
        "Reading the identity card failed; the message goes on with the reader library's status in decimal.",
        "读取身份证失败；消息后接阅读器库的十进制状态值。",
      ),
      words(
        "No identity card could be read. Place the card on the reader and try again.",
        "未能读取身份证。请把身份证放在阅读器上再试。",
      ),
      true,
    ),
    entry(
      "0103",
      "读取身份证异常",
      ["GETPID"],
      words(
        "The identity-card reader library failed while reading.",
        "身份证阅读器库在读卡时出错。",
      ),
      words(
        "The identity-card reader failed while reading. Try again.",
        "身份证阅读器读卡时出错。请再试一次。",
      ),
    ),
    entry(
      "0200",
      "无法打开读卡器",
      ["GETCARDNO", "GETCARDSN"],
      words("The card reader is not open and opening it failed.", "读卡器未打开，而且打开失败。"),
      words(
        "No card reader is connected, or it cannot be opened.",
        "没有连接读卡器，或者读卡器无法打开。",
      ),
    ),
    entry(
      "0201",
      "读卡失败",
      ["GETCARDNO"],
      words("Reading the card number failed.", "读取卡号失败。"),
      NO_CARD,
    ),
    entry(
      "0201",
      "读序列号失败",
      ["GETCARDSN"],
      words("Reading the card's serial failed.", "读取卡序列号失败。"),
      NO_CARD,
    ),
  ]);

  // The client's own texts for people.
  var say = {
    UNREACHABLE: words(
      "The card service is not running, or the browser does not let this page reach it.",
      "读卡服务没有运行，或者浏览器不允许本页访问它。",
    ),
    BADREPLY: words(
      "Something answered on the card service's port, but not the card service.",
      "读卡服务的端口上有程序应答，但它不是读卡服务。",
    ),
    unusable: words("The card service could not be used.", "无法使用读卡服务。"),
    otherCode: words(
      function (code) {
        return "The card service answered with code " + code + ".";
      },
      function (code) {
        return "读卡服务返回了代码 " + code + "。";
      },
    ),
    noAnswer: words(
      function (origin, timeout) {
        return (
          "The card service at " +
          origin +
          (timeout
            ? " did not answer within " + timeout + " ms"
            : " did not answer (the request failed or was blocked)") +
          ". Check that the service SDuvane is running on this computer, and that the browser " +
          "allows this page to access the local network (Chrome asks for local network access " +
          "on pages from the internet)."
        );
      },
      function (origin, timeout) {
        return (
          "读卡服务 " +
          origin +
          (timeout ? " 在 " + timeout + " 毫秒内没有应答" : " 没有应答（请求失败或被拦截）") +
          "。请检查本机的 SDuvane 服务是否在运行，以及浏览器是否允许本页访问本地网络" +
          "（来自互联网的页面，Chrome 会询问是否允许访问本地网络）。"
        );
      },
    ),
    notTheService: words(
      function (origin) {
        return (
          "Something at " +
          origin +
          " answered, but not with a reply of the card service. " +
          "Check that the port belongs to the service SDuvane."
        );
      },
      function (origin) {
        return origin + " 有应答，但不是读卡服务的回复。请检查这个端口是否属于 SDuvane 服务。";
      },
    ),
  };

  /**
   * The error of a call that did not succeed. `code` is the reply's
   * "ResultCode", or "UNREACHABLE" (no answer within the timeout) or
   * "BADREPLY" (an answer that is not a reply of the service); `message` the
   * reply's "ResultMsg" or a sentence that says what to check; `reply` the
   * whole reply, or null when there was none.
   */
  class DuvaneError extends Error {
    constructor(code, message, reply) {
      super(message);
      this.name = "DuvaneError";
      this.code = code;
      this.reply = reply === undefined ? null : reply;
    }
  }

  function describe(error, language) {
    var lang = languageOf(language);
    if (!error || typeof error.code !== "string") return say.unusable[lang];
    if (error.code === UNREACHABLE || error.code === BAD_REPLY) return say[error.code][lang];
    var message = typeof error.message === "string" ? error.message : "";
    var fallback = null;
    for (var i = 0; i < resultCodes.length; i++) {
      var row = resultCodes[i];
      if (row.code !== error.code) continue;
      var matches = row.continues ? message.indexOf(row.message) === 0 : message === row.message;
      if (matches) return row.texts[lang].advice;
      fallback = fallback || row;
    }
    return fallback ? fallback.texts[lang].advice : say.otherCode[lang](error.code);
  }

  function photoType(base64) {
    var bytes;
    try {
      bytes = root.atob(base64.slice(0, 12));
    } catch (e) {
      return "application/octet-stream";
    }
    var starts = function (signature) {
      for (var i = 0; i < signature.length; i++) {
        if (bytes.charCodeAt(i) !== signature[i]) return false;
      }
      return true;
    };
    if (starts([0xff, 0xd8, 0xff])) return "image/jpeg";
    if (starts([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a])) return "image/png";
    if (starts([0x42, 0x4d])) return "image/bmp";
    return "application/octet-stream";
  }

  /**
   * A data: URL for a photo given as Base64 text, its type taken from the
   * image's first bytes (JPEG, PNG or BMP; anything else is sent as
   * application/octet-stream). An empty or missing photo gives "".
   */
  function photoDataUrl(base64) {
    if (typeof base64 !== "string") return "";
    var text = base64.replace(/[\t\n\f\r ]+/g, "");
    if (text === "") return "";
    return "data:" + photoType(text) + ";base64," + text;
  }

  function readOptions(options) {
    var given = options == null ? {} : options;
    if (typeof given !== "object") throw new TypeError("Duvane: options must be an object");
    var timeout = given.timeout === undefined ? DEFAULT_TIMEOUT_MS : given.timeout;
    if (typeof timeout !== "number" || !(timeout > 0)) {
      throw new TypeError("Duvane: timeout must be a positive number of milliseconds");
    }
    var host = given.host === undefined ? DEFAULT_HOST : given.host;
    var isName = typeof host === "string" && /^[A-Za-z0-9.-]+$/.test(host);
    var isIpv6 =
      typeof host === "string" && /^\[?[0-9A-Fa-f:.]+\]?$/.test(host) && host.indexOf(":") >= 0;
    if (!isName && !isIpv6)
      throw new TypeError("Duvane: host must be a host name or an IP address");
    if (isIpv6 && host.charAt(0) !== "[") host = "[" + host + "]";
    var port = given.port === undefined ? DEFAULT_PORT : Number(given.port);
    if (!Number.isInteger(port) || port < 1 || port > 65535) {
      throw new TypeError("Duvane: port must be a whole number from 1 to 65535");
    }
    return {
      timeout: Math.min(timeout, LONGEST_TIMEOUT_MS),
      origin: "http://" + host + ":" + port,
      language: languageOf(given.language),
    };
  }

  function unreachable(settings, timedOut) {
    var text = say.noAnswer[settings.language](settings.origin, timedOut ? settings.timeout : 0);
    return new DuvaneError(UNREACHABLE, text, null);
  }

  function badReply(settings) {
    return new DuvaneError(BAD_REPLY, say.notTheService[settings.language](settings.origin), null);
  }

  function isReply(value) {
    return (
      value !== null &&
      typeof value === "object" &&
      typeof value.ResultCode === "string" &&
      typeof value.ResultMsg === "string"
    );
  }

  // Made when the file loads, so that calls add no global of their own.
  var holder = root[HOLDER_NAME] || makeReplyHolder();

  function makeReplyHolder() {
    var ignoreLateReply = function () {};
    var made = new Proxy(Object.create(null), {
      get: function (slots, key) {
        if (Object.prototype.hasOwnProperty.call(slots, key)) return slots[key];
        return typeof key === "string" && key.charAt(0) === SLOT_PREFIX
          ? ignoreLateReply
          : undefined;
      },
    });
    Object.defineProperty(root, HOLDER_NAME, { value: made, enumerable: false });
    return made;
  }

  // Loads http://host:port/COMMAND?callback=DuvaneReplies.<slot> and settles
  // with the reply object, or rejects with DuvaneError "UNREACHABLE" or
  // "BADREPLY". Whatever happens, the script element and the slot go away.
  function load(command, settings) {
    var doc = root.document;
    if (!doc || typeof doc.createElement !== "function") {
      return Promise.reject(new TypeError("Duvane: needs a web page (no document here)"));
    }
    return new Promise(function (resolve, reject) {
      callCount += 1;
      var slot = SLOT_PREFIX + copyTag + "_" + callCount;
      var script = doc.createElement("script");
      var settled = false;
      var timer = null;
      var finish = function (outcome, value) {
        if (settled) return;
        settled = true;
        root.clearTimeout(timer);
        delete holder[slot];
        script.onload = script.onerror = null;
        if (script.parentNode) script.parentNode.removeChild(script);
        outcome(value);
      };
      holder[slot] = function (reply) {
        if (isReply(reply)) finish(resolve, reply);
        else finish(reject, badReply(settings));
      };
      script.onerror = function () {
        finish(reject, unreachable(settings, false));
      };
      // Runs after the script: when it called no slot, it was no JSONP reply.
      script.onload = function () {
        finish(reject, badReply(settings));
      };
      timer = root.setTimeout(function () {
        finish(reject, unreachable(settings, true));
      }, settings.timeout);
      try {
        script.async = true;
        script.src = settings.origin + "/" + command + "?callback=" + HOLDER_NAME + "." + slot;
        (doc.head || doc.documentElement).appendChild(script);
      } catch (error) {
        // A page policy (Trusted Types, for one) may refuse the script.
        finish(reject, error);
      }
    });
  }

  function run(command, options) {
    var settings;
    try {
      settings = readOptions(options);
    } catch (error) {
      return Promise.reject(error);
    }
    return load(command, settings).then(function (reply) {
      if (reply.ResultCode === SUCCESS) return reply;
      throw new DuvaneError(reply.ResultCode, reply.ResultMsg, reply);
    });
  }

  return Object.freeze({
    /** Card number of a contactless memory card: resolves with {ResultCode, ResultMsg, CardNo}. */
    getCardNo: function (options) {
      return run("GETCARDNO", options);
    },
    /** Serial and type of a contactless memory card: {ResultCode, ResultMsg, CardSN, CardType}. */
    getCardSn: function (options) {
      return run("GETCARDSN", options);
    },
    /**
     * Holder of a resident identity card: {ResultCode, ResultMsg, Name, Sex, Nation,
     * Address, IDCardNo, photo, photoDataUrl}.
     */
    getPid: function (options) {
      return run("GETPID", options).then(function (reply) {
        reply.photoDataUrl = photoDataUrl(reply.photo);
        return reply;
      });
    },
    /** Resolves true when the service answers at all, false otherwise; never rejects. */
    available: function (options) {
      return run(PING_COMMAND, options).then(
        function () {
          return true;
        },
        function (error) {
          return (
            error instanceof DuvaneError && error.code !== UNREACHABLE && error.code !== BAD_REPLY
          );
        },
      );
    },
    describe: describe,
    /** The language of the texts for people: "zh" or "en". */
    language: currentLanguage,
    /**
     * Fixes the language for the page: a language tag (or a list of them,
     * in order of preference) that is Chinese gives "zh", any other "en";
     * null follows the browser again. Returns the language in force.
     */
    setLanguage: function (language) {
      pageLanguage = language === null || language === undefined ? null : languageOf(language);
      return currentLanguage();
    },
    pickLanguage: pickLanguage,
    photoDataUrl: photoDataUrl,
    resultCodes: resultCodes,
    DuvaneError: DuvaneError,
    UNREACHABLE: UNREACHABLE,
    BAD_REPLY: BAD_REPLY,
  });
})(globalThis);

// Makes this one file an ES module as well as a classic script. In a classic
// script "await" is a plain name, so the "/" after it divides by a template
// text that runs to the backquote in the last comment and hides the exports:
// the page gets the one global Duvane. In a module "await" is an operator, so
// "/`/" is a regular expression and the exports are code. The "0 &&" keeps
// either reading from evaluating anything. Keep backquotes and "${" out of
// the exports, and the backquote comment last.
// prettier-ignore
0 && await /`/;
export const DuvaneError = Duvane.DuvaneError,
  resultCodes = Duvane.resultCodes;
export { Duvane }; // `
