// The HTML report in a real browser: headless Chromium driven through puppeteer-core.
// usage: node browser_test.mjs SERIES.html GRID.html FAILED_NAME SQUARE.html CUBE.html FAR.html [--screenshot OUT.png]
// GRID.html must hold 4 points of which the one named FAILED_NAME failed; SQUARE.html is a
// sweep of growthCycles 1..3 by repulsion 1, 4, 16 titled "nine points by hand", CUBE.html
// one of growthCycles 1, 2 by repulsion 1, 16 by attraction 3, 8; FAR.html two tiles of one
// body, the second with a few points flung far from it.
// Exit status 0 when every check passes, 1 otherwise.
import path from 'node:path';
import { launchChromium, checks } from './chromium.mjs';

const [seriesPage, gridPage, failedName, squarePage, cubePage, farPage] = process.argv.slice(2, 8);
const shotAt = process.argv.indexOf('--screenshot');
const screenshot = shotAt > 0 ? process.argv[shotAt + 1] : null;

const { check } = checks;

const browser = await launchChromium('report');

// Opens a page and collects what it reports as errors, and any request off this machine.
async function open(file, width = 1000, height = 760) {
  const page = await browser.newPage();
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(e.message));
  page.on('requestfailed', (r) => errors.push(`request failed: ${r.url()}`));
  const remote = [];
  page.on('request', (r) => { if (!/^(file|data|blob):/.test(r.url())) remote.push(r.url()); });
  await page.setViewport({ width, height });
  const started = Date.now();
  await page.goto(`file://${path.resolve(file)}`);
  await page.waitForSelector('body[data-ready]', { timeout: 20000 });
  return { page, errors, remote, ms: Date.now() - started };
}

// What the canvas shows inside an element: pixels unlike the background (the region's
// commonest colour: plain pictures and coloured ones have backgrounds of their own),
// distinct colours, and a hash of the whole region, read back through a 2D canvas.
function picture(page, selector) {
  return page.evaluate(async (sel) => {
    await new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
    const gl = document.getElementById('canvas');
    const box = document.querySelector(sel).getBoundingClientRect();
    const scale = gl.width / gl.clientWidth;
    const w = Math.max(1, Math.floor(box.width * scale));
    const h = Math.max(1, Math.floor(box.height * scale));
    const c = document.createElement('canvas');
    c.width = w;
    c.height = h;
    const ctx = c.getContext('2d');
    ctx.drawImage(gl, box.left * scale, box.top * scale, w, h, 0, 0, w, h);
    const px = ctx.getImageData(0, 0, w, h).data;
    const counts = new Map();
    for (let i = 0; i < px.length; i += 4) {
      const key = (px[i] << 16) | (px[i + 1] << 8) | px[i + 2];
      counts.set(key, (counts.get(key) || 0) + 1);
    }
    const common = [...counts.entries()].reduce((a, b) => (b[1] > a[1] ? b : a))[0];
    const bg = [common >> 16, (common >> 8) & 255, common & 255];
    let drawn = 0;
    let hash = 2166136261;
    const colours = new Set();
    for (let i = 0; i < px.length; i += 4) {
      if (Math.abs(px[i] - bg[0]) + Math.abs(px[i + 1] - bg[1]) + Math.abs(px[i + 2] - bg[2]) > 12) drawn += 1;
      colours.add((px[i] << 16) | (px[i + 1] << 8) | px[i + 2]);
      hash = Math.imul(hash ^ px[i] ^ (px[i + 1] << 8) ^ (px[i + 2] << 16), 16777619) >>> 0;
    }
    return { drawn, total: w * h, colours: colours.size, hash };
  }, selector);
}

async function drag(page, selector, dx, dy) {
  const box = await (await page.$(selector)).boundingBox();
  const x = box.x + box.width / 2;
  const y = box.y + box.height / 2;
  await page.mouse.move(x, y);
  await page.mouse.down();
  await page.mouse.move(x + dx / 2, y + dy / 2, { steps: 4 });
  await page.mouse.move(x + dx, y + dy, { steps: 4 });
  await page.mouse.up();
}

try {
  // ---- a series: colour modes, dragging, the keyboard, the slider ----
  {
    const { page, errors, remote, ms } = await open(seriesPage);
    console.log(`series page interactive after ${ms} ms`);
    check(await page.$eval('body', (b) => b.dataset.shown) === '5' &&
      /cycle 25\b/.test(await page.$eval('#cycle', (e) => e.textContent)), 'a series opens at its last cycle');
    const first = await picture(page, '.view');
    check(first.drawn > first.total * 0.02 && first.colours > 20, `the canvas shows the mesh (${first.drawn} of ${first.total} pixels, ${first.colours} colours)`);

    await page.select('#colour', 'red');
    const red = await picture(page, '.view');
    await page.select('#colour', 'plain');
    const plain = await picture(page, '.view');
    check(red.hash !== plain.hash && red.hash !== first.hash, 'switching the colour mode changes the picture');
    const legend = await page.$eval('#legend', (e) => e.textContent);
    check(/plain/i.test(legend), `the legend follows the mode ("${legend}")`);
    await page.select('#colour', 'red');
    check(/threshold 120/.test(await page.$eval('#legend', (e) => e.textContent)), 'the red legend marks the red threshold');

    await drag(page, '.view', 140, 40);
    const dragged = await picture(page, '.view');
    check(dragged.hash !== red.hash && dragged.drawn > 0, 'dragging turns the mesh');

    await page.focus('#stage');
    await page.keyboard.press('ArrowLeft');
    const keyed = await picture(page, '.view');
    check(keyed.hash !== dragged.hash, 'an arrow key on the focused view turns the mesh');

    const box = await (await page.$('.view')).boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.mouse.wheel({ deltaY: -400 });
    const zoomed = await picture(page, '.view');
    check(zoomed.drawn > keyed.drawn * 1.2, `the wheel zooms in (${keyed.drawn} to ${zoomed.drawn} pixels)`);

    await page.focus('#slider');
    check(await page.$eval('#curve', (e) => e.dataset.marked) === '25' &&
      await page.$eval('#curve polyline', (e) => e.getAttribute('points').split(' ').length) === 6,
      'the growth curve of the chosen measure runs under the slider, the last cycle marked');
    await page.keyboard.press('Home');
    await page.waitForSelector('body[data-shown="0"]', { timeout: 10000 });
    check(await page.$eval('#curve', (e) => e.dataset.marked) === '0', 'the curve marks the cycle shown');
    const home = await picture(page, '.view');
    await page.keyboard.press('End');
    await page.waitForSelector('body[data-shown="5"]', { timeout: 10000 });
    const cycleText = await page.$eval('#cycle', (e) => e.textContent);
    check(/cycle 25\b/.test(cycleText), `the slider's last step shows its cycle ("${cycleText}")`);
    const last = await picture(page, '.view');
    check(last.hash !== home.hash, 'the last snapshot is drawn');

    await page.keyboard.press('Home');
    await page.click('#play');
    await page.waitForSelector('body[data-shown="5"]', { timeout: 15000 });
    check(/cycle 25\b/.test(await page.$eval('#cycle', (e) => e.textContent)), 'play runs through to the last snapshot');

    check(errors.length === 0, `no console error (${errors.join(' | ')})`);
    check(remote.length === 0, `nothing is fetched from the network (${remote.join(' ')})`);
    if (screenshot) {
      await page.select('#colour', 'rgb');
      await page.screenshot({ path: screenshot });
    }
    await page.close();
  }

  // ---- a grid: one tile per point, the failed one marked, linked cameras, a large view ----
  {
    const { page, errors } = await open(gridPage);
    const tiles = await page.$$eval('.tile', (all) => all.map((t) => ({
      failed: t.classList.contains('failed'), label: t.querySelector('figcaption').textContent })));
    check(tiles.length === 4, `one tile per point (${tiles.length})`);
    const failed = tiles.filter((t) => t.failed);
    check(failed.length === 1 && failed[0].label.replace(/\n/g, '').includes(failedName),
      `exactly the failed point is marked (${failed.map((t) => t.label).join(', ')})`);
    check(tiles.every((t) => t.label.length > 0), 'every tile is labelled');

    const tileA = '.tile:nth-child(1) .view';
    const tileB = '.tile:nth-child(3) .view';
    const a0 = await picture(page, tileA);
    const b0 = await picture(page, tileB);
    check(a0.drawn > a0.total * 0.05 && b0.drawn > b0.total * 0.02, `the tiles show their meshes (${a0.drawn} of ${a0.total}, ${b0.drawn} of ${b0.total})`);
    await drag(page, tileA, 120, 0);
    const a1 = await picture(page, tileA);
    const b1 = await picture(page, tileB);
    check(a1.hash !== a0.hash && b1.hash !== b0.hash, 'dragging one tile turns every tile');
    check(await page.$eval('#large', (e) => e.hidden), 'a drag does not open a tile');

    await page.focus('.tile:nth-child(3)');
    await page.keyboard.press('Enter');
    const large = await page.$eval('#large', (e) => !e.hidden && e.getBoundingClientRect().width > 500);
    const big = await picture(page, '#large .view');
    check(large && big.drawn > b1.drawn, 'Enter on a tile opens it large');
    await page.keyboard.press('Escape');
    check(await page.$eval('#large', (e) => e.hidden), 'Escape closes the large view');
    await page.click('.tile:nth-child(2)');
    check(await page.$eval('#large', (e) => e.hidden), 'a click on the failed tile opens nothing');
    await page.click('.tile:nth-child(1)');
    check(!(await page.$eval('#large', (e) => e.hidden)), 'a click opens a tile large');
    check(errors.length === 0, `no console error on the grid (${errors.join(' | ')})`);
    await page.close();
  }

  // ---- sweeps: grids by parameter, headed, that keep their shape at any width ----
  const sweeps = [
    { file: squarePage, title: 'nine points by hand', grids: [''], rows: ['growthCycles 1', 'growthCycles 2', 'growthCycles 3'],
      columns: ['repulsion 1', 'repulsion 4', 'repulsion 16'], tile: 'growthCycles 2\nrepulsion 4', parameters: 2 },
    { file: cubePage, title: null, grids: ['growthCycles 1', 'growthCycles 2'], rows: ['repulsion 1', 'repulsion 16'],
      columns: ['attraction 3', 'attraction 8'], tile: 'growthCycles 1\nrepulsion 16\nattraction 3', parameters: 3 },
  ];
  for (const sweep of sweeps) {
    for (const width of [600, 1600]) {
      const { page, errors } = await open(sweep.file, width, 800);
      const name = `${path.basename(sweep.file)} at ${width} px`;
      const layout = await page.evaluate(() => [...document.querySelectorAll('.sweep-grid')].map((g) => ({
        title: g.querySelector('.grid-title') ? g.querySelector('.grid-title').textContent : '',
        rows: [...g.querySelectorAll('.row-head')].map((e) => e.textContent),
        columns: [...g.querySelectorAll('.column-head')].map((e) => e.textContent),
        tiles: [...g.querySelectorAll('.tile')].map((t) => {
          const r = t.getBoundingClientRect();
          return { left: Math.round(r.left), top: Math.round(r.top), caption: t.querySelector('figcaption').textContent,
            title: t.title };
        }),
      })));
      check(JSON.stringify(layout.map((g) => g.title)) === JSON.stringify(sweep.grids),
        `${name}: one grid per value of the third parameter, titled (${layout.map((g) => g.title).join(' | ')})`);
      check(layout.every((g) => JSON.stringify(g.rows) === JSON.stringify(sweep.rows) &&
        JSON.stringify(g.columns) === JSON.stringify(sweep.columns)),
        `${name}: rows and columns headed by parameter and value (${layout[0].rows} / ${layout[0].columns})`);
      const shapes = layout.map((g) => [new Set(g.tiles.map((t) => t.left)).size, new Set(g.tiles.map((t) => t.top)).size]);
      check(shapes.every(([c, r]) => c === sweep.columns.length && r === sweep.rows.length),
        `${name}: every grid keeps ${sweep.rows.length} rows of ${sweep.columns.length} (${JSON.stringify(shapes)})`);
      const all = layout.flatMap((g) => g.tiles);
      check(all.some((t) => t.caption === sweep.tile) && all.every((t) => /\.3dv$/.test(t.title)),
        `${name}: tiles say their values, their file names on hover ("${all[0].caption}", "${all[0].title}")`);
      const title = await page.title();
      check(sweep.title === null ? title.endsWith('cube') : title === sweep.title, `${name}: titled "${title}"`);
      const files = await page.$$eval('table.points tbody tr', (rows) => {
        const at = [...document.querySelectorAll('table.points th')].findIndex((th) => th.textContent === 'file');
        return rows.map((r) => r.cells[at].textContent);
      });
      check(files.length === all.length && files.every((f) => /\.3dv$/.test(f)), `${name}: a table names every point's file`);
      const over = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      check(over <= 0, `${name}: the page itself needs no sideways scrolling (${over} pixels over)`);
      if (width === 600) {
        // Measures beside the shapes: a heat map of the chosen one, a sortable table whose
        // rows mark their tiles and back.
        const cells = await page.$$eval('#sweep-plot svg.heat > rect', (r) => r.length);
        check(cells === sweep.rows.length * sweep.columns.length && await page.$eval('#measure', (e) => e.value) === 'sphericity',
          `${name}: a heat map of sphericity, a cell per row and column (${cells})`);
        // Beside it, each swept parameter's share of the variance as a bar.
        const bars = await page.$$eval('#sweep-plot svg.shares', (s) => s.map((e) => [e.querySelector('text').textContent,
          e.querySelectorAll('.share-first').length]));
        check(bars.length === 1 && bars[0][0] === 'share of the variance of sphericity' && bars[0][1] === sweep.parameters,
          `${name}: a bar per swept parameter beside the heat map (${JSON.stringify(bars)})`);
        // Its colour scale names the measure and the values at its ends; numbers shown in
        // the map, its tooltips and the table have at most four significant digits.
        const scale = await page.$$eval('#sweep-plot .colour-scale text', (t) => t.map((e) => e.textContent));
        check(scale.includes('sphericity') && scale.length >= 2 && scale.slice(0, -1).every((v) => !Number.isNaN(Number(v))),
          `${name}: the heat map has a labelled colour scale (${scale.join(' | ')})`);
        const digits = (t) => t.replace(/e.*$/, '').replace(/[^0-9]/g, '').replace(/^0+/, '').length;
        const shown = await page.evaluate(() => [
          ...[...document.querySelectorAll('#sweep-plot .cell-value, #sweep-plot title')].map((e) => e.textContent.split(' ').pop()),
          ...[...document.querySelectorAll('table.points tbody td')].slice(-8).map((e) => e.textContent)]);
        const long = shown.filter((t) => t !== '' && !Number.isNaN(Number(t)) && digits(t) > 4);
        check(long.length === 0, `${name}: numbers shown in at most four significant digits (${long.slice(0, 3).join(', ')})`);
        const offered = await page.$$eval('#colour option', (o) => o.map((e) => e.value));
        check(JSON.stringify(offered) === '["plain"]', `${name}: results without levels are offered plain only (${offered})`);
        if (screenshot) await page.$eval('#sweep-plot', (e) => e.scrollIntoView());
        if (screenshot) await page.screenshot({ path: screenshot.replace(/\.png$/, '') + `-${path.basename(sweep.file, '.html')}.png`, fullPage: true });
        const repulsion = () => page.$$eval('table.points tbody tr', (rows) => rows.map((r) => Number(r.cells[2].textContent)));
        await page.click('table.points th:nth-child(3)');
        const up = await repulsion();
        await page.click('table.points th:nth-child(3)');
        const down = await repulsion();
        const sorted = [...up].sort((a, b) => a - b);
        check(JSON.stringify(up) === JSON.stringify(sorted) && JSON.stringify(down) === JSON.stringify([...sorted].reverse()),
          `${name}: a header sorts the table by value, both ways (${up} / ${down})`);
        await page.click('table.points tbody tr:first-child');
        const linked = await page.evaluate(() => {
          const row = document.querySelector('table.points tbody tr:first-child');
          const tile = document.querySelector('.tile.linked');
          return row.classList.contains('linked') && tile && tile.dataset.point === row.dataset.point;
        });
        check(linked, `${name}: a row marks its tile`);
        await page.hover('.sweep-grid:last-of-type .tile:last-of-type');
        const back = await page.evaluate(() => {
          const tile = document.querySelectorAll('.sweep-grid .tile');
          const last = tile[tile.length - 1];
          const row = document.querySelector('table.points tr.pointed');
          return last.classList.contains('pointed') && row && row.dataset.point === last.dataset.point;
        });
        check(back, `${name}: a tile marks its row`);
      }
      check(errors.length === 0, `${name}: no console error (${errors.join(' | ')})`);
      await page.close();
    }
  }

  // ---- points flung far from the body: the view frames the body, not them ----
  {
    const { page, errors } = await open(farPage);
    const body = await picture(page, '.tile:nth-child(1) .view');
    const far = await picture(page, '.tile:nth-child(2) .view');
    check(body.drawn > body.total * 0.05 && far.drawn > body.drawn * 0.7,
      `a body with points far from it fills its view as the body alone does (${far.drawn} and ${body.drawn} of ${body.total} pixels)`);
    check(errors.length === 0, `no console error with far points (${errors.join(' | ')})`);
    await page.close();
  }

  // ---- a narrow window: nothing runs off the side, the controls stay reachable ----
  for (const [name, file] of [['grid', gridPage], ['series', seriesPage]]) {
    const { page, errors } = await open(file, 360, 640);
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    check(overflow <= 0, `the ${name} in a 360-pixel window needs no sideways scrolling (${overflow} pixels over)`);
    const outside = await page.$$eval('#bar select, #bar button:not([hidden]), #bar input', (all) => all
      .filter((e) => e.offsetParent !== null && e.getBoundingClientRect().right > window.innerWidth).length);
    check(outside === 0, `every control of the ${name} fits a narrow window (${outside} outside)`);
    const shown = await picture(page, '.view');
    check(shown.drawn > 0, `the ${name} still draws in a narrow window`);
    check(errors.length === 0, `no console error in a narrow window (${errors.join(' | ')})`);
    await page.close();
  }
} catch (error) {
  check(false, `the run ended early: ${error.stack || error}`);
} finally {
  await browser.close();
}
process.exit(checks.failures ? 1 : 0);
