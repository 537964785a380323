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

  function entry(code, message, commands, when, advice, continues) {
    return Object.freeze({
      code: code,
      message: message,
      continues: continues === true,
      commands: Object.freeze(commands),
      when: when,
      advice: advice,
    });
  }

  var NO_CARD = "No card could be read. Place the card on the reader and try again.";
  var ALL = ["GETCARDNO", "GETCARDSN", "GETPID"];

  // The result codes of the service, with their messages ("continues": the
  // message goes on with more text), the commands that give them, and plain
  // words a page can show a person.
  var resultCodes = Object.freeze([
    entry("0000", "成功", ALL, "The command succeeded.", "Done."),
    entry(
      "0001",
      "不可识别命令字",
      [],
      "The command word is unknown; the message goes on with the word as the service read it.",
      "The card service does not know this command.",
      true,
    ),
    entry(
      "0100",
      "寻找身份证阅读器失败",
      ["GETPID"],
      "No identity-card reader was found.",
      "No identity-card reader is connected.",
    ),
    entry(
      "0102",
      "打开身份证阅读器端口失败",
      ["GETPID"],
      "The identity-card reader's port did not open.",
      "The identity-card reader could not be opened. Reconnect it and try again.",
    ),
    entry(
      "0102",
      "读取身份证失败_",
      ["GETPID"],
      "Reading the identity card failed; the message goes on with the reader library's status in decimal.",
      "No identity card could be read. Place the card on the reader and try again.",
      true,
    ),
    entry(
      "0103",
      "读取身份证异常",
      ["GETPID"],
      "The identity-card reader library failed while reading.",
      "The identity-card reader failed while reading. Try again.",
    ),
    entry(
      "0200",
      "无法打开读卡器",
      ["GETCARDNO", "GETCARDSN"],
      "The card reader is not open and opening it failed.",
      "No card reader is connected, or it cannot be opened.",
    ),
    entry("0201", "读卡失败", ["GETCARDNO"], "Reading the card number failed.", NO_CARD),
    entry("0201", "读序列号失败", ["GETCARDSN"], "Reading the card's serial failed.", NO_CARD),
  ]);

  var clientAdvice = {
    UNREACHABLE: "The card service is not running, or the browser does not let this page reach it.",
    BADREPLY: "Something answered on the card service's port, but not the card service.",
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

  function describe(error) {
    if (!error || typeof error.code !== "string") return "The card service could not be used.";
    if (clientAdvice[error.code]) return clientAdvice[error.code];
    var message = typeof error.message === "string" ? error.message : "";
    var fallback = null;
    for (var i = 0; i < resultCodes.length; i++) {
      var row = resultCodes[i];
      if (row.code !== error.code) continue;
      var matches = row.continues ? message.indexOf(row.message) === 0 : message === row.message;
      if (matches) return row.advice;
      fallback = fallback || row;
    }
    return fallback ? fallback.advice : "The card service answered with code " + error.code + ".";
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
    };
  }

  function unreachable(settings, timedOut) {
    var what = timedOut
      ? "did not answer within " + settings.timeout + " ms"
      : "did not answer (the request failed or was blocked)";
    return new DuvaneError(
      UNREACHABLE,
      "The card service at " +
        settings.origin +
        " " +
        what +
        ". Check that the service SDuvane is running on this computer, and that the browser " +
        "allows this page to access the local network (Chrome asks for local network access " +
        "on pages from the internet).",
      null,
    );
  }

  function badReply(settings) {
    return new DuvaneError(
      BAD_REPLY,
      "Something at " +
        settings.origin +
        " answered, but not with a reply of the card service. " +
        "Check that the port belongs to the service SDuvane.",
      null,
    );
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
