// Headless Chromium for the report's pages, as the browser tests and the report benchmark
// drive it: software WebGL, no network chatter, a throw-away profile that close() removes;
// and the tests' "ok"/"FAIL" lines with their count.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

export async function launchChromium(name) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `morph-${name}-chromium-`));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}

export const checks = {
  failures: 0,
  check(ok, what) {
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
    if (!ok) checks.failures += 1;
  },
};
