// The 3D views of a notebook exported to HTML, in headless Chromium through puppeteer-core:
// every view's frame starts, draws its mesh, reports no error and asks nothing of the network.
// usage: node notebook_view_test.mjs NOTEBOOK.html VIEWS
// Exit status 0 when the page holds VIEWS views and every check passes, 1 otherwise.
import path from 'node:path';
import { launchChromium, checks } from './chromium.mjs';

const [file, expected] = process.argv.slice(2, 4);
const { check } = checks;

const browser = await launchChromium('notebook');
try {
  const page = await browser.newPage();
  const errors = [];
  const remote = [];
  page.on('pageerror', (e) => errors.push(e.message));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('request', (r) => { if (!/^(file|data|blob|about):/.test(r.url())) remote.push(r.url()); });
  await page.setViewport({ width: 1000, height: 800 });
  await page.goto(`file://${path.resolve(file)}`);
  const frames = await page.$$('iframe');
  check(frames.length === Number(expected), `the page holds ${expected} views (${frames.length})`);
  for (const [k, element] of frames.entries()) {
    await element.scrollIntoView();  // the views load as they come into sight
    const frame = await element.contentFrame();
    await frame.waitForSelector('body[data-ready]', { timeout: 30000 });
    // Pixels of the view's canvas unlike its commonest colour, the background.
    const drawn = await frame.evaluate(async () => {
      await new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
      const gl = document.getElementById('canvas');
      const c = document.createElement('canvas');
      c.width = gl.width;
      c.height = gl.height;
      const ctx = c.getContext('2d');
      ctx.drawImage(gl, 0, 0);
      const px = ctx.getImageData(0, 0, c.width, c.height).data;
      const counts = new Map();
      for (let i = 0; i < px.length; i += 4) {
        const key = (px[i] << 16) | (px[i + 1] << 8) | px[i + 2];
        counts.set(key, (counts.get(key) || 0) + 1);
      }
      const [common, most] = [...counts.entries()].reduce((a, b) => (b[1] > a[1] ? b : a));
      return { drawn: px.length / 4 - most, total: px.length / 4, common };
    });
    check(drawn.drawn > drawn.total * 0.005, `view ${k + 1} draws its mesh (${drawn.drawn} of ${drawn.total} pixels)`);
  }
  check(errors.length === 0, `no error in the page or its views (${errors.join(' | ')})`);
  check(remote.length === 0, `nothing asked of the network (${remote.join(' ')})`);
} catch (error) {
  check(false, `the run ended early: ${error.stack || error}`);
} finally {
  await browser.close();
}
process.exit(checks.failures ? 1 : 0);
