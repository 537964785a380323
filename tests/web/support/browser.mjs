// Debian's Chromium, headless, driven by playwright-core. The flags keep it
// off the network it cannot reach here; --no-sandbox because tests run as root.
import { createRequire } from "node:module";

const require = createRequire(import.meta.url);

export async function launchChromium() {
  let chromium;
  try {
    ({ chromium } = require("playwright-core"));
  } catch {
    throw new Error("playwright-core is missing: run scripts/bootstrap (npm ci in tests/web)");
  }
  return chromium.launch({
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    headless: true,
    args: [
      "--no-sandbox",
      "--disable-gpu",
      "--disable-quic",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
    ],
  });
}

// A page that records every uncaught error of its scripts in `errors`, in a
// context of its own (`options`: Playwright's, such as the browser's `locale`).
export async function openPage(browser, url, options = {}) {
  const page = await browser.newPage(options);
  page.errors = [];
  page.on("pageerror", (error) => page.errors.push(error.message));
  await page.goto(url);
  return page;
}
