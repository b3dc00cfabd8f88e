// The report page: meshes from the page's data block, drawn by one WebGL renderer into
// every visible view through scissor rectangles (browsers allow only a few WebGL contexts
// per page, far fewer than a sweep has points). One orbit state drives every view, so the
// tiles of a grid turn together.
import * as THREE from 'three';

const $ = (id) => document.getElementById(id);
const data = JSON.parse($('morph-data').textContent);
const items = data.items;
const stage = $('stage');
const status = $('status');

// Colours are given as the values to show; no colour-space conversion on the way.
THREE.ColorManagement.enabled = false;

// ---- meshes: decoded on first use, each into a three.js mesh ready to draw ----

const plainColour = [235 / 255, 220 / 255, 190 / 255];
// The maps morphview draws its pictures with (viridis for one morphogen, and the rgb
// channel ramp), and the backgrounds they are drawn on, from the page's data.
const maps = data.maps;
const channelIndex = { red: 0, green: 1, blue: 2 };
const rgbCss = (c) => `rgb(${c.join(',')})`;
const material = new THREE.MeshLambertMaterial({ vertexColors: true, side: THREE.DoubleSide });

function bytesOf(base64) {
  const text = atob(base64);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
  return bytes;
}

async function inflate(bytes) {
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
  return new Response(stream).arrayBuffer();
}

// The parts of a block, at the offsets the writer uses (see reportmesh.h).
function unpack(info, buffer) {
  const n = info.points;
  const t = info.faces;
  const positionBytes = info.positionBytes || 2;
  const indexStart = Math.ceil((n * 3 * positionBytes) / 4) * 4;
  const levelStart = indexStart + t * 3 * info.indexBytes;
  const expected = levelStart + (info.levels ? n * 3 : 0);
  if (buffer.byteLength !== expected) throw new Error(`mesh block of ${buffer.byteLength} bytes, expected ${expected}`);
  const positions = new Float32Array(n * 3);
  if (positionBytes === 4) {
    const planes = new DataView(buffer);
    for (let k = 0; k < 3; ++k) {
      for (let i = 0; i < n; ++i) positions[i * 3 + k] = planes.getFloat32((k * n + i) * 4, true);
    }
  } else {
    const q = new Uint16Array(buffer, 0, n * 3);
    for (let k = 0; k < 3; ++k) {
      const lo = info.lo[k];
      const step = (info.hi[k] - lo) / 65535;
      for (let i = 0; i < n; ++i) positions[i * 3 + k] = lo + q[k * n + i] * step;
    }
  }
  const Index = info.indexBytes === 2 ? Uint16Array : Uint32Array;
  const index = new Index(buffer, indexStart, t * 3);
  const levels = info.levels ? new Uint8Array(buffer, levelStart, n * 3) : null;
  return { positions, index, levels };
}

const decoded = new Map();  // item index -> Promise of a THREE.Mesh
const finished = new Map();  // item index -> THREE.Mesh, once decoded

function meshOf(i) {
  if (!decoded.has(i)) {
    decoded.set(i, (async () => {
      const info = items[i].mesh;
      const parts = unpack(info, await inflate(bytesOf(info.data)));
      const geometry = new THREE.BufferGeometry();
      geometry.setAttribute('position', new THREE.BufferAttribute(parts.positions, 3));
      geometry.setIndex(new THREE.BufferAttribute(parts.index, 1));
      geometry.setAttribute('color', new THREE.BufferAttribute(new Float32Array(info.points * 3), 3));
      geometry.computeVertexNormals();
      const mesh = new THREE.Mesh(geometry, material);
      mesh.userData = { levels: parts.levels, mode: null };
      placeMesh(mesh, i);
      finished.set(i, mesh);
      return mesh;
    })());
  }
  return decoded.get(i);
}

// A grid's tiles each fill their view, like a contact sheet; the snapshots of a series
// share one frame, so that growth shows as growth. A mesh with points flung far from its
// body gives the body's box as its frame, as morphview's pictures frame it.
function boxOf(indices) {
  const lo = [Infinity, Infinity, Infinity];
  const hi = [-Infinity, -Infinity, -Infinity];
  for (const i of indices) {
    const m = items[i].mesh;
    if (!m) continue;
    const box = m.frame || m;
    for (let k = 0; k < 3; ++k) {
      lo[k] = Math.min(lo[k], box.lo[k]);
      hi[k] = Math.max(hi[k], box.hi[k]);
    }
  }
  return { lo, hi };
}
const seriesBox = data.kind === 'series' ? boxOf(items.keys()) : null;

function placeMesh(mesh, i) {
  const { lo, hi } = seriesBox || boxOf([i]);
  const centre = [0, 1, 2].map((k) => (lo[k] + hi[k]) / 2);
  const radius = Math.hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]) / 2 || 1;
  mesh.scale.setScalar(1 / radius);
  mesh.position.set(-centre[0] / radius, -centre[1] / radius, -centre[2] / radius);
}

function paint(mesh, mode) {
  const { levels } = mesh.userData;
  const shown = levels ? mode : 'plain';
  if (mesh.userData.mode === shown) return;
  const colours = mesh.geometry.getAttribute('color');
  const c = colours.array;
  const n = c.length / 3;
  if (shown === 'plain') {
    for (let i = 0; i < n; ++i) c.set(plainColour, i * 3);
  } else if (shown === 'rgb') {
    for (let i = 0; i < n * 3; ++i) c[i] = maps.rgb[levels[i]] / 255;
  } else {
    const k = channelIndex[shown];
    for (let i = 0; i < n; ++i) {
      const colour = maps.level[levels[i * 3 + k]];
      for (let j = 0; j < 3; ++j) c[i * 3 + j] = colour[j] / 255;
    }
  }
  colours.needsUpdate = true;
  mesh.userData.mode = shown;
}

// ---- renderer, camera and the shared orbit ----

let renderer;
try {
  renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
} catch (error) {
  status.textContent = `This page needs WebGL, which this browser does not offer here (${error.message}).`;
  throw error;
}
renderer.setPixelRatio(Math.min(window.devicePixelRatio || 1, 2));
renderer.outputColorSpace = THREE.LinearSRGBColorSpace;
renderer.setScissorTest(true);
const pageBackground = new THREE.Color(...maps.plainBackground.map((v) => v / 255));
const levelBackground = new THREE.Color(...maps.levelBackground.map((v) => v / 255));
renderer.setClearColor(pageBackground, 1);
renderer.domElement.id = 'canvas';
document.body.appendChild(renderer.domElement);

const scene = new THREE.Scene();
const camera = new THREE.PerspectiveCamera(30, 1, 0.05, 100);
const light = new THREE.DirectionalLight(0xffffff, 2.2);
light.position.set(0.3, 0.4, 1);
camera.add(light);
scene.add(camera);
const ambient = new THREE.AmbientLight(0xffffff, 0.9);
scene.add(ambient);

// Coloured surfaces are lit more evenly and drawn on a middle grey, as in morphview's
// pictures: the colour carries the level, and neither end of the map may sink into the
// background. (three.js divides a Lambert surface's light by pi.)
function lightFor(mode, levels) {
  const coloured = mode !== 'plain' && levels;
  const floor = mode === 'rgb' ? maps.rgbShadingFloor : maps.levelShadingFloor;
  ambient.intensity = coloured ? floor * Math.PI : 0.9;
  light.intensity = coloured ? (1 - floor) * Math.PI * 1.1 : 2.2;
  return coloured && mode !== 'rgb' ? levelBackground : pageBackground;
}

const homeDistance = 1.08 / Math.sin(THREE.MathUtils.degToRad(15));
const orbit = { yaw: 0, pitch: 0, distance: homeDistance };

function aim() {
  const cp = Math.cos(orbit.pitch);
  camera.position.set(
    orbit.distance * cp * Math.sin(orbit.yaw),
    orbit.distance * Math.sin(orbit.pitch),
    orbit.distance * cp * Math.cos(orbit.yaw));
  camera.up.set(0, 1, 0);
  camera.lookAt(0, 0, 0);
}

function turn(dYaw, dPitch) {
  orbit.yaw += dYaw;
  orbit.pitch = Math.max(-1.55, Math.min(1.55, orbit.pitch + dPitch));
  redraw();
}

function zoom(factor) {
  orbit.distance = Math.max(1.2, Math.min(40, orbit.distance * factor));
  redraw();
}

// ---- views: the regions of the page a mesh is drawn into ----

const state = { mode: 'plain', frame: 0, large: null };
const views = [];  // { element, item() }

function makeView(element, item) {
  const view = { element, item };
  views.push(view);
  return view;
}

let pending = false;
function redraw() {
  if (pending) return;
  pending = true;
  requestAnimationFrame(() => {
    pending = false;
    draw();
  });
}

// Every visible view whose mesh is ready is drawn; one not yet decoded is drawn once it is.
function draw() {
  const canvas = renderer.domElement;
  const width = canvas.clientWidth;
  const height = canvas.clientHeight;
  if (canvas.width !== Math.floor(width * renderer.getPixelRatio()) ||
      canvas.height !== Math.floor(height * renderer.getPixelRatio())) {
    renderer.setSize(width, height, false);
  }
  renderer.setScissor(0, 0, width, height);
  renderer.setViewport(0, 0, width, height);
  renderer.setClearColor(pageBackground, 1);
  renderer.clear();
  aim();
  let waiting = 0;
  for (const view of views) {
    const i = view.item();
    if (i === null || !items[i].mesh) continue;
    const r = view.element.getBoundingClientRect();
    if (view.element.offsetParent === null || r.width < 1 || r.height < 1) continue;
    const clip = (view.element.closest('#large') || stage).getBoundingClientRect();
    const left = Math.max(r.left, clip.left);
    const right = Math.min(r.right, clip.right);
    const top = Math.max(r.top, clip.top);
    const bottom = Math.min(r.bottom, clip.bottom);
    if (right <= left || bottom <= top) continue;
    const ready = readyMesh(i);
    if (!ready) {
      ++waiting;
      continue;
    }
    paint(ready, state.mode);
    renderer.setClearColor(lightFor(state.mode, ready.userData.levels !== null), 1);
    camera.aspect = r.width / r.height;
    camera.updateProjectionMatrix();
    // The viewport is the whole view; the scissor keeps it inside the stage.
    renderer.setViewport(r.left, height - r.bottom, r.width, r.height);
    renderer.setScissor(left, height - bottom, right - left, bottom - top);
    scene.add(ready);
    renderer.render(scene, camera);
    scene.remove(ready);
  }
  if (waiting === 0 && !document.body.dataset.ready) document.body.dataset.ready = 'true';
  document.body.dataset.shown = String(state.frame);
}

function readyMesh(i) {
  if (finished.has(i)) return finished.get(i);
  meshOf(i).then(redraw, (error) => {
    status.textContent = `${items[i].name}: cannot be shown: ${error.message}`;
    console.error(error);
  });
  return null;
}

// ---- pointer and keyboard ----

// In a grid the wheel scrolls the tiles, so there it zooms only with Ctrl held (as a
// touchpad's pinch arrives).
function orbitBy(element, wheelScrolls = false) {
  // The pointer is captured only once it moves: a capture from the press on would send
  // the click of a plain press to the stage instead of the tile under it.
  let last = null;
  element.addEventListener('pointerdown', (event) => {
    if (event.button !== 0) return;
    last = { x: event.clientX, y: event.clientY, moved: false };
    delete element.dataset.dragged;
  });
  element.addEventListener('pointermove', (event) => {
    if (!last) return;
    const dx = event.clientX - last.x;
    const dy = event.clientY - last.y;
    if (!last.moved && Math.abs(dx) + Math.abs(dy) <= 3) return;
    if (!last.moved) element.setPointerCapture(event.pointerId);
    last = { x: event.clientX, y: event.clientY, moved: true };
    turn(-dx * 0.01, dy * 0.01);
  });
  const end = (event) => {
    if (last && last.moved) element.dataset.dragged = 'true';
    last = null;
    if (element.hasPointerCapture(event.pointerId)) element.releasePointerCapture(event.pointerId);
  };
  element.addEventListener('pointerup', end);
  element.addEventListener('pointercancel', end);
  element.addEventListener('wheel', (event) => {
    if (wheelScrolls && !event.ctrlKey) return;
    event.preventDefault();
    zoom(Math.exp(event.deltaY * 0.001));
  }, { passive: false });
}

function keys(event) {
  const step = event.shiftKey ? 0.25 : 0.08;
  const actions = {
    ArrowLeft: () => turn(step, 0),
    ArrowRight: () => turn(-step, 0),
    ArrowUp: () => turn(0, step),
    ArrowDown: () => turn(0, -step),
    '+': () => zoom(0.9),
    '=': () => zoom(0.9),
    '-': () => zoom(1 / 0.9),
  };
  const action = actions[event.key];
  if (!action) return false;
  event.preventDefault();
  action();
  return true;
}

$('reset').addEventListener('click', () => {
  Object.assign(orbit, { yaw: 0, pitch: 0, distance: homeDistance });
  redraw();
});
stage.addEventListener('keydown', keys);
orbitBy(stage, data.kind === 'grid');

// ---- colour modes and the legend ----

const anyLevels = items.some((item) => item.mesh && item.mesh.levels);
const colourSelect = $('colour');
// The menu offers only what the files hold: without levels there is nothing to colour by.
for (const option of [...colourSelect.options]) {
  if (option.value !== 'plain' && !anyLevels) option.remove();
}
if (anyLevels) colourSelect.value = 'rgb';
state.mode = colourSelect.value;

function legendItem() {
  if (data.kind === 'series') return state.frame;
  if (state.large !== null) return state.large;
  return items.findIndex((item) => item.mesh);
}

function updateLegend() {
  const legend = $('legend');
  legend.replaceChildren();
  const mode = state.mode;
  const i = legendItem();
  const info = i >= 0 && items[i].mesh;
  if (!anyLevels) {
    legend.textContent = 'No morphogen levels in these files: the surface is shown plain.';
    return;
  }
  if (mode === 'plain') {
    legend.textContent = 'Plain surface.';
    return;
  }
  if (mode === 'rgb') {
    legend.textContent = 'Red, green and blue morphogen levels (0 to 255) as the colour\'s channels, '
      + 'low levels brightened.';
    return;
  }
  const k = channelIndex[mode];
  const stops = [];
  for (let level = 0; level <= 255; level += 17) stops.push(rgbCss(maps.level[level]));
  const bar = document.createElement('span');
  bar.className = 'ramp';
  bar.style.background = `linear-gradient(to right, ${stops.join(', ')})`;
  const threshold = info && info.thresholds ? info.thresholds[k] : null;
  if (threshold !== null) {
    const mark = document.createElement('span');
    mark.className = 'mark';
    mark.style.left = `${(threshold / 255) * 100}%`;
    bar.appendChild(mark);
  }
  legend.append(`${mode} morphogen 0 `, bar, ' 255');
  if (threshold !== null) legend.append(` (threshold ${threshold} marked)`);
}

colourSelect.addEventListener('change', () => {
  state.mode = colourSelect.value;
  updateLegend();
  redraw();
});

// ---- measures beside the shapes: morphstats' columns, a chosen one plotted as SVG ----

const measureNames = data.measureNames || [];
const measurePick = $('measure');
// The SVG namespace as the HTML parser gives it, so that the page holds no web address.
const svgNs = (() => {
  const holder = document.createElement('div');
  holder.innerHTML = '<svg></svg>';
  return holder.firstChild.namespaceURI;
})();
function svg(tag, attributes, text) {
  const e = document.createElementNS(svgNs, tag);
  for (const [k, v] of Object.entries(attributes || {})) e.setAttribute(k, v);
  if (text !== undefined) e.textContent = text;
  return e;
}
const shortNumber = (v) => (v === null || v === undefined ? '' : Number(v.toPrecision(4)).toString());
const measureOf = (item, column) => (item.measures ? item.measures[column] : null);

// The choice of measure, offered once there is something to plot; sphericity first.
function offerMeasures(onChange) {
  if (!measureNames.length) return;
  for (const name of measureNames) measurePick.add(new Option(name, name));
  measurePick.value = measureNames.includes('sphericity') ? 'sphericity' : measureNames[0];
  $('measure-pick').hidden = false;
  measurePick.addEventListener('change', onChange);
}
const chosenMeasure = () => measureNames.indexOf(measurePick.value);

// A line through (x, y) points with labelled ends of both axes; `marked` (an x) gets a
// vertical line. Returns the svg and a function mapping x to its position.
function linePlot(points, xName, yName, xLabels) {
  const width = 420;
  const height = 150;
  const pad = { left: 64, right: 12, top: 10, bottom: 30 };
  const plot = svg('svg', { class: 'plot', width, height, viewBox: `0 0 ${width} ${height}`, role: 'img',
    'aria-label': `${yName} against ${xName}` });
  const xs = points.map((p) => p[0]);
  const ys = points.map((p) => p[1]).filter((v) => v !== null);
  const x0 = Math.min(...xs);
  const x1 = Math.max(...xs);
  const y0 = ys.length ? Math.min(...ys) : 0;
  const y1 = ys.length ? Math.max(...ys) : 1;
  const px = (x) => pad.left + (x1 > x0 ? ((x - x0) / (x1 - x0)) : 0.5) * (width - pad.left - pad.right);
  const py = (y) => height - pad.bottom - (y1 > y0 ? ((y - y0) / (y1 - y0)) : 0.5) * (height - pad.top - pad.bottom);
  plot.append(svg('path', { class: 'axis', d: `M${pad.left},${pad.top}V${height - pad.bottom}H${width - pad.right}` }));
  plot.append(svg('text', { x: pad.left - 4, y: py(y1) + 4, 'text-anchor': 'end' }, shortNumber(y1)));
  plot.append(svg('text', { x: pad.left - 4, y: py(y0) + 4, 'text-anchor': 'end' }, shortNumber(y0)));
  plot.append(svg('text', { x: pad.left + 6, y: pad.top + 10 }, yName));
  const ticks = xLabels || [[x0, String(x0)], [x1, String(x1)]];
  for (const [x, label] of ticks) plot.append(svg('text', { x: px(x), y: height - 16, 'text-anchor': 'middle' }, label));
  plot.append(svg('text', { x: width - pad.right, y: height - 3, 'text-anchor': 'end' }, xName));
  const drawn = points.filter((p) => p[1] !== null);
  plot.append(svg('polyline', { class: 'line', points: drawn.map((p) => `${px(p[0])},${py(p[1])}`).join(' ') }));
  for (const p of drawn) plot.append(svg('circle', { class: 'dot', cx: px(p[0]), cy: py(p[1]), r: 2.5 }));
  return { plot, px, top: pad.top, bottom: height - pad.bottom };
}

// A heat map of one measure over two swept parameters, each cell the mean of its points,
// coloured on the pictures' viridis map from the lowest mean to the highest, with a colour
// scale beside it that names the measure and the values at its ends and middle.
function heatMap(grid, column, name) {
  const rows = grid.rowValues.length;
  const columns = grid.columnValues.length;
  const sums = Array.from({ length: rows * columns }, () => [0, 0]);
  for (const g of data.grids) {
    g.cells.forEach((i, k) => {
      const v = i >= 0 ? measureOf(items[i], column) : null;
      if (v !== null && v !== undefined) {
        sums[k][0] += v;
        sums[k][1] += 1;
      }
    });
  }
  const means = sums.map(([sum, n]) => (n ? sum / n : null));
  const known = means.filter((v) => v !== null);
  const lo = Math.min(...known);
  const hi = Math.max(...known);
  const longest = (values, parameter) => Math.max(...values.map((v) => `${parameter} ${v}`.length));
  const cell = Math.max(64, longest(grid.columnValues, grid.columnParameter) * 7 + 8);
  const left = longest(grid.rowValues, grid.rowParameter) * 7 + 12;
  const top = 36;
  const scaleLeft = left + columns * cell + 16;
  const scaleHeight = Math.max(rows * 28 - 2, 84);
  const plot = svg('svg', { class: 'plot heat', width: scaleLeft + 90, height: top + Math.max(rows * 28, scaleHeight) + 8,
    role: 'img', 'aria-label': `${name} by ${grid.rowParameter} and ${grid.columnParameter}` });
  plot.append(svg('text', { x: 2, y: 12 }, `${name}${data.grids.length > 1 ? ' (mean over the other parameters)' : ''}`));
  grid.columnValues.forEach((v, c) => plot.append(svg('text', { x: left + c * cell + cell / 2, y: top - 6,
    'text-anchor': 'middle' }, `${grid.columnParameter} ${v}`)));
  grid.rowValues.forEach((v, r) => {
    plot.append(svg('text', { x: left - 6, y: top + r * 28 + 18, 'text-anchor': 'end' }, `${grid.rowParameter} ${v}`));
    for (let c = 0; c < columns; ++c) {
      const mean = means[r * columns + c];
      const level = mean === null ? 0 : Math.round(hi > lo ? ((mean - lo) / (hi - lo)) * 255 : 128);
      const colour = maps.level[level];
      const box = svg('rect', { x: left + c * cell, y: top + r * 28, width: cell - 2, height: 26,
        fill: mean === null ? 'none' : rgbCss(colour), stroke: '#59607a' });
      box.append(svg('title', {}, `${grid.rowParameter} ${v}, ${grid.columnParameter} ${grid.columnValues[c]}: `
        + `${name} ${mean === null ? 'none' : shortNumber(mean)}`));
      plot.append(box);
      const light = colour[0] * 0.299 + colour[1] * 0.587 + colour[2] * 0.114 > 140;
      plot.append(svg('text', { class: 'cell-value', x: left + c * cell + cell / 2 - 1, y: top + r * 28 + 17,
        'text-anchor': 'middle', style: `fill: ${mean === null ? 'var(--text)' : light ? '#000' : '#fff'}` },
      mean === null ? 'none' : shortNumber(mean)));
    }
  });
  // The colour scale: the map from the lowest mean (bottom) to the highest (top), in steps.
  const scale = svg('g', { class: 'colour-scale' });
  const steps = 32;
  for (let k = 0; k < steps; ++k) {
    const level = Math.round(((steps - 1 - k) / (steps - 1)) * 255);
    scale.append(svg('rect', { x: scaleLeft, y: top + (k * scaleHeight) / steps, width: 14,
      height: scaleHeight / steps + 0.5, fill: rgbCss(maps.level[level]) }));
  }
  scale.append(svg('rect', { x: scaleLeft, y: top, width: 14, height: scaleHeight, fill: 'none', stroke: '#8a90a0' }));
  const ends = hi > lo ? [[hi, 0], [(lo + hi) / 2, 0.5], [lo, 1]] : [[lo, 0.5]];
  for (const [value, at] of ends) {
    // Baselines kept inside the bar's height, clear of the name above it.
    const y = top + at * scaleHeight + (at === 0 ? 10 : at === 1 ? 0 : 4);
    scale.append(svg('text', { class: 'scale-value', x: scaleLeft + 18, y }, shortNumber(value)));
  }
  scale.append(svg('text', { x: scaleLeft, y: top - 6 }, name));
  plot.append(scale);
  return plot;
}

// Each swept parameter's share of the variance of one measure over the grid: a bar of its
// total share (with its interactions), the share of the parameter alone drawn over it.
function shareBars(column, name) {
  const shares = data.shares ? data.shares[column] : undefined;
  if (shares === undefined) return null;
  const percent = (v) => `${Math.round(v * 100)}%`;
  const left = Math.max(...data.parameters.map((p) => p.length)) * 7 + 12;
  const barWidth = 160;
  const rowHeight = 24;
  const rows = shares === null || !shares.length ? 1 : data.parameters.length;
  const plot = svg('svg', { class: 'plot shares', width: left + barWidth + 130, height: 24 + rows * rowHeight + 8,
    role: 'img', 'aria-label': `shares of the variance of ${name}` });
  plot.append(svg('text', { x: 2, y: 12 }, `share of the variance of ${name}`));
  if (shares === null || !shares.length) {
    plot.append(svg('text', { x: 2, y: 36 }, shares === null ? `${name} is the same at every point: no effect`
      : `no shares: a point has no ${name}`));
    return plot;
  }
  data.parameters.forEach((parameter, k) => {
    const [first, total] = shares[k];
    const y = 24 + k * rowHeight;
    plot.append(svg('text', { x: left - 6, y: y + 15, 'text-anchor': 'end' }, parameter));
    plot.append(svg('rect', { class: 'share-total', x: left, y: y + 3, width: total * barWidth, height: 16 }));
    plot.append(svg('rect', { class: 'share-first', x: left, y: y + 3, width: first * barWidth, height: 16 }));
    plot.append(svg('rect', { x: left, y: y + 3, width: barWidth, height: 16, fill: 'none', stroke: '#59607a' }));
    const label = svg('text', { x: left + barWidth + 6, y: y + 15 },
      `${percent(first)} alone, ${percent(total)} in all`);
    label.append(svg('title', {}, `${parameter} explains ${percent(first)} of the variance of ${name} `
      + `(${percent(total)} with its interactions)`));
    plot.append(label);
  });
  return plot;
}

// ---- the three kinds of page ----

function frameText(i) {
  const item = items[i];
  return item.cycle !== undefined ? `cycle ${item.cycle}` : item.label.join('');
}

function single() {
  const view = document.createElement('div');
  view.className = 'view full';
  stage.appendChild(view);
  makeView(view, () => 0);
  const caption = document.createElement('p');
  caption.className = 'caption';
  caption.textContent = items[0].label.join('') + (items[0].cycle !== undefined ? ` (cycle ${items[0].cycle})` : '');
  stage.appendChild(caption);
}

function series() {
  single();
  const caption = stage.querySelector('.caption');
  views[0].item = () => state.frame;
  $('timeline').hidden = false;
  const slider = $('slider');
  const label = $('cycle');
  const play = $('play');
  slider.max = String(items.length - 1);
  // The growth curve of the chosen measure under the slider, the snapshot shown marked; a
  // click on it goes to the nearest snapshot.
  const curve = $('curve');
  let marker = null;
  const drawCurve = () => {
    const column = chosenMeasure();
    if (column < 0 || items.some((item) => item.cycle === undefined)) return;
    const points = items.map((item) => [item.cycle, measureOf(item, column)]);
    const { plot, px, top, bottom } = linePlot(points, 'cycle', measurePick.value);
    marker = svg('line', { class: 'now', y1: top, y2: bottom });
    marker.dataset.px = '';
    plot.append(marker);
    plot.addEventListener('click', (event) => {
      const box = plot.getBoundingClientRect();
      const x = event.clientX - box.left;
      let best = 0;
      items.forEach((item, k) => { if (Math.abs(px(item.cycle) - x) < Math.abs(px(items[best].cycle) - x)) best = k; });
      show(best);
    });
    curve.replaceChildren(plot);
    curve.hidden = false;
    marker.place = (i) => {
      marker.setAttribute('x1', px(items[i].cycle));
      marker.setAttribute('x2', px(items[i].cycle));
      curve.dataset.marked = String(items[i].cycle);
    };
    marker.place(state.frame);
  };
  offerMeasures(drawCurve);
  const show = (i) => {
    state.frame = i;
    slider.value = String(i);
    if (marker) marker.place(i);
    label.textContent = `${frameText(i)} (${i + 1} of ${items.length})`;
    caption.textContent = items[i].name;
    updateLegend();
    meshOf(Math.min(i + 1, items.length - 1));  // decode ahead for playing
    redraw();
  };
  slider.addEventListener('input', () => show(Number(slider.value)));
  let timer = null;
  const stop = () => {
    clearInterval(timer);
    timer = null;
    play.innerHTML = '&#9654;';
    play.setAttribute('aria-label', 'play');
  };
  play.addEventListener('click', () => {
    if (timer) return stop();
    if (state.frame >= items.length - 1) show(0);
    play.innerHTML = '&#10074;&#10074;';
    play.setAttribute('aria-label', 'pause');
    timer = setInterval(() => {
      if (state.frame >= items.length - 1) return stop();
      // Wait for a frame still being decoded rather than skip it.
      if (finished.has(state.frame + 1)) show(state.frame + 1);
    }, 250);
  });
  // A series opens where growth ended; play starts again from the first snapshot.
  state.frame = items.length - 1;
  drawCurve();
  show(items.length - 1);
}

function grid() {
  stage.classList.add('grid');
  const large = document.createElement('div');
  large.id = 'large';
  large.hidden = true;
  large.setAttribute('role', 'dialog');
  large.setAttribute('aria-label', 'one point, large');
  large.innerHTML = '<button type="button" id="close">Close</button><div class="view"></div><p class="caption"></p>';
  stage.after(large);
  const largeView = makeView(large.querySelector('.view'), () => state.large);
  orbitBy(largeView.element);
  let opener = null;
  const open = (i, tile) => {
    state.large = i;
    opener = tile;
    large.hidden = false;
    stage.hidden = true;
    large.querySelector('.caption').textContent = items[i].name;
    $('close').focus();
    updateLegend();
    redraw();
  };
  const close = () => {
    state.large = null;
    large.hidden = true;
    stage.hidden = false;
    if (opener) opener.focus();
    updateLegend();
    redraw();
  };
  $('close').addEventListener('click', close);
  large.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') close();
    else keys(event);
  });

  const makeTile = (item, i) => {
    const tile = document.createElement('figure');
    tile.className = item.mesh ? 'tile' : 'tile failed';
    tile.dataset.point = String(i);
    tile.tabIndex = 0;
    tile.setAttribute('role', 'button');
    tile.setAttribute('aria-label', `${item.name}${item.mesh ? '' : ' (failed)'}: open large`);
    const view = document.createElement('div');
    view.className = 'view';
    if (item.mesh) {
      makeView(view, () => i);
    } else {
      view.textContent = 'failed';
      view.title = item.problem;
    }
    const caption = document.createElement('figcaption');
    caption.textContent = item.label.join('\n');
    caption.title = item.mesh ? item.name : item.problem;
    tile.title = item.name;
    tile.append(view, caption);
    tile.addEventListener('click', () => {
      // The end of a drag is not a click on the tile under it.
      if (stage.dataset.dragged) return;
      if (item.mesh) open(i, tile);
    });
    tile.addEventListener('keydown', (event) => {
      if ((event.key === 'Enter' || event.key === ' ') && item.mesh) {
        event.preventDefault();
        open(i, tile);
      }
    });
    return tile;
  };
  if (data.grids) sweepLayout(makeTile);
  else items.forEach((item, i) => stage.appendChild(makeTile(item, i)));
  const failed = items.filter((item) => !item.mesh).length;
  if (failed) status.textContent = `${failed} of ${items.length} points failed; hover a crossed tile for its message.`;
}

// A sweep: one grid per combination of the parameters beyond two, rows by one parameter and
// columns by another, headed by their values. Tiles keep their size and the grid its
// shape at any width: a narrow window scrolls the stage. Below, every point in a table.
function sweepLayout(makeTile) {
  stage.classList.add('sweep');
  const text = (tag, className, content) => {
    const e = document.createElement(tag);
    if (className) e.className = className;
    e.textContent = content;
    return e;
  };
  const named = (name, value) => (name ? `${name} ${value}` : '');
  for (const g of data.grids) {
    const section = document.createElement('section');
    section.className = 'sweep-grid';
    if (g.title) section.appendChild(text('h2', 'grid-title', g.title));
    const table = document.createElement('div');
    table.className = 'cells';
    table.style.gridTemplateColumns = `auto repeat(${g.columnValues.length}, var(--tile))`;
    table.appendChild(text('div', 'corner', ''));
    for (const value of g.columnValues) table.appendChild(text('div', 'column-head', named(g.columnParameter, value)));
    g.rowValues.forEach((rowValue, r) => {
      table.appendChild(text('div', 'row-head', named(g.rowParameter, rowValue)));
      g.columnValues.forEach((_, c) => {
        const i = g.cells[r * g.columnValues.length + c];
        table.appendChild(i >= 0 ? makeTile(items[i], i) : text('div', 'no-point', ''));
      });
    });
    section.appendChild(table);
    stage.appendChild(section);
  }
  // The chosen measure over the swept parameters: a heat map over two, a line over one.
  const plotBox = document.createElement('div');
  plotBox.id = 'sweep-plot';
  stage.appendChild(plotBox);
  const drawPlot = () => {
    const column = chosenMeasure();
    const g = data.grids[0];
    if (column < 0 || !g.columnParameter) return;
    const bars = shareBars(column, measurePick.value);
    const beside = bars ? [bars] : [];
    if (g.rowParameter) {
      plotBox.replaceChildren(heatMap(g, column, measurePick.value), ...beside);
      return;
    }
    const points = g.cells.map((i, c) => [c, i >= 0 ? measureOf(items[i], column) : null]);
    plotBox.replaceChildren(linePlot(points, g.columnParameter, measurePick.value,
      g.columnValues.map((v, c) => [c, v])).plot, ...beside);
  };
  offerMeasures(drawPlot);
  drawPlot();

  // Every point with its values, file, status and measures; a header sorts by its column,
  // a row marks its tile and a tile its row.
  const list = document.createElement('table');
  list.className = 'points';
  const head = list.createTHead().insertRow();
  const columns = ['point', ...data.parameters, 'file', 'status', ...measureNames];
  for (const name of columns) head.appendChild(text('th', '', name));
  const rows = list.createTBody();
  const tileOf = (i) => stage.querySelector(`.tile[data-point="${i}"]`);
  // A click or focus selects a point ('linked'); the pointer over a tile only points at
  // its row ('pointed'), so scrolling under a still pointer keeps the selection.
  const mark = (i, how = 'linked') => {
    for (const e of stage.querySelectorAll(`.${how}`)) e.classList.remove(how);
    const row = rows.querySelector(`tr[data-point="${i}"]`);
    const tile = tileOf(i);
    if (row) row.classList.add(how);
    if (tile) tile.classList.add(how);
  };
  items.forEach((item, i) => {
    const row = rows.insertRow();
    row.dataset.point = String(i);
    const cells = [i + 1, ...(item.values || []), item.name, item.mesh ? 'ok' : 'failed'];
    for (const cell of cells) row.insertCell().textContent = typeof cell === 'number' ? String(cell) : cell ?? '';
    // Measures in four significant digits; the sort uses the whole value.
    measureNames.forEach((_, k) => {
      const v = measureOf(item, k);
      const td = row.insertCell();
      td.textContent = shortNumber(v);
      if (v !== null && v !== undefined) td.dataset.value = String(v);
    });
    if (!item.mesh) row.title = item.problem;
    row.addEventListener('click', () => {
      mark(i);
      const tile = tileOf(i);
      if (tile) tile.scrollIntoView({ block: 'nearest', inline: 'nearest' });
      redraw();
    });
    const tile = tileOf(i);
    if (tile) {
      tile.addEventListener('mouseenter', () => mark(i, 'pointed'));
      tile.addEventListener('mouseleave', () => tile.classList.remove('pointed'));
      tile.addEventListener('focus', () => mark(i));
    }
  });
  head.querySelectorAll('th').forEach((th, k) => {
    th.tabIndex = 0;
    const sort = () => {
      const ascending = th.getAttribute('aria-sort') !== 'ascending';
      head.querySelectorAll('th').forEach((other) => other.removeAttribute('aria-sort'));
      th.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
      const key = (row) => {
        const t = row.cells[k].dataset.value ?? row.cells[k].textContent;
        return t === '' || Number.isNaN(Number(t)) ? t : Number(t);
      };
      const sorted = [...rows.rows].sort((a, b) => {
        const x = key(a);
        const y = key(b);
        // Empty cells last either way; numbers by value, words as text.
        if (x === '' || y === '') return (x === '') - (y === '');
        const order = typeof x === 'number' && typeof y === 'number' ? x - y : String(x).localeCompare(String(y));
        return ascending ? order : -order;
      });
      rows.append(...sorted);
    };
    th.addEventListener('click', sort);
    th.addEventListener('keydown', (event) => { if (event.key === 'Enter') sort(); });
  });
  stage.appendChild(list);
}

if (data.kind === 'series') series();
else if (data.kind === 'grid') grid();
else single();
updateLegend();
window.addEventListener('resize', redraw);
stage.addEventListener('scroll', redraw, { passive: true });
window.addEventListener('scroll', redraw, { passive: true });
redraw();
