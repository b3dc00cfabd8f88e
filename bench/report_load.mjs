// Times report pages in headless Chromium: from navigation until the page has drawn every
// visible mesh and takes input (body[data-ready]), then how long a drag and a step to the
// last snapshot take to show. Prints one line per page.
// usage: node report_load.mjs [--size WxH] [--screenshot OUT.png] PAGE.html...
// (the window is 1280x800 by default; the picture is of the first page, once ready)
import fs from 'node:fs';
import path from 'node:path';
import { launchChromium } from '../tests/report/chromium.mjs';

const browser = await launchChromium('report-bench');
const settle = (page) => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
const args = process.argv.slice(2);
const size = (args[0] === '--size' ? args.splice(0, 2)[1] : '1280x800').split('x').map(Number);
const shot = args[0] === '--screenshot' ? args.splice(0, 2)[1] : null;
try {
  for (const file of args) {
    const page = await browser.newPage();
    await page.setViewport({ width: size[0], height: size[1] });
    const started = performance.now();
    await page.goto(`file://${path.resolve(file)}`);
    await page.waitForSelector('body[data-ready]', { timeout: 60000 });
    const ready = performance.now() - started;
    if (shot && file === args[0]) await page.screenshot({ path: shot });
    const box = await (await page.$('.view')).boundingBox();
    let t = performance.now();
    await page.mouse.move(box.x + 40, box.y + 40);
    await page.mouse.down();
    await page.mouse.move(box.x + 140, box.y + 60, { steps: 5 });
    await page.mouse.up();
    await settle(page);
    const drag = performance.now() - t;
    let step = '';
    if (await page.$eval('#timeline', (e) => !e.hidden)) {
      const last = await page.$eval('#slider', (e) => e.max);
      t = performance.now();
      await page.focus('#slider');
      await page.keyboard.press('End');
      await page.waitForSelector(`body[data-shown="${last}"]`, { timeout: 60000 });
      await settle(page);
      step = `, step to the last snapshot ${Math.round(performance.now() - t)} ms`;
    }
    const mb = (fs.statSync(file).size / 1e6).toFixed(1);
    console.log(`${path.basename(file)}: ${mb} MB, interactive after ${Math.round(ready)} ms, drag shown in ${Math.round(drag)} ms${step}`);
    await page.close();
  }
} finally {
  await browser.close();
}
