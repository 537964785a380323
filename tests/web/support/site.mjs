// A second local http origin for the pages: web/ under /web/, a blank page
// at /, and at any other path with a callback a stand-in for the service that
// answers like it, but only after `lateReplyMs` (a reply after a timeout).
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize } from "node:path";

const TYPES = { ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8" };
const BLANK_PAGE =
  '<!doctype html><html><head><meta charset="utf-8"><title>page</title></head><body></body></html>';

export class Site {
  static async start(webFolder) {
    const site = new Site(webFolder);
    await new Promise((resolve) => site.server.listen(0, "127.0.0.1", resolve));
    site.port = site.server.address().port;
    site.origin = `http://127.0.0.1:${site.port}`;
    return site;
  }

  constructor(webFolder) {
    this.webFolder = webFolder;
    this.lateReplyMs = 1000;
    this.lateRequests = 0;
    this.server = createServer((request, response) => this.answer(request, response));
  }

  async answer(request, response) {
    const url = new URL(request.url, "http://site");
    if (url.pathname === "/") return send(response, 200, TYPES[".html"], BLANK_PAGE);
    if (url.pathname.startsWith("/web/")) return this.sendFile(url.pathname.slice(5), response);
    const callback = url.searchParams.get("callback");
    if (!callback) return send(response, 404, "text/plain", "not found");
    this.lateRequests += 1;
    const body = `${callback}({"ResultCode":"0000","ResultMsg":"成功","CardNo":"04030201"})`;
    setTimeout(
      () => send(response, 200, "application/json; charset=utf-8", body),
      this.lateReplyMs,
    );
  }

  async sendFile(name, response) {
    const path = normalize(join(this.webFolder, name));
    if (!path.startsWith(this.webFolder)) return send(response, 404, "text/plain", "not found");
    try {
      send(response, 200, TYPES[extname(path)] ?? "application/octet-stream", await readFile(path));
    } catch {
      send(response, 404, "text/plain", "not found");
    }
  }

  close() {
    this.server.closeAllConnections();
    return new Promise((resolve) => this.server.close(resolve));
  }
}

function send(response, status, type, body) {
  response.writeHead(status, { "Content-Type": type });
  response.end(body);
}
