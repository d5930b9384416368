// Signal: a scrolling plot of every channel in the EMG previews, with a level
// (RMS over the last half second) beside each trace. The console watches the
// signal also while the server is idle; a signal that stopped arriving is
// greyed as "not live", and cleared when the link to the server is lost.
// Every preview is buffered when it arrives; the plot is drawn at most once per
// animation frame from the buffer, so slow drawing skips frames, never data.
import uPlot from '/vendor/uplot.esm.js';
import { $, el } from '../lib/dom.js';
import { onMessage, onConnectionChange } from '../lib/connection.js';
import { stats } from '../lib/stats.js';
import { server, onServerChange } from '../lib/server-state.js';
import { Msg, bitCount, decodePreview, maskMembers, FRAMES_PER_SECOND, PREVIEW_FRAMES_PER_PACKET } from '../lib/protocol.js';
import { SampleRing } from '../lib/sample-ring.js';

const WINDOW_SECONDS = 6;
const SECONDS_PER_SAMPLE = PREVIEW_FRAMES_PER_PACKET / FRAMES_PER_SECOND;
const CAPACITY = Math.ceil(WINDOW_SECONDS / SECONDS_PER_SAMPLE);
const LANE = 80;            // vertical room of one channel, in sample counts
const MIDPOINT = 128;       // an 8-bit sample's centre

// No preview for this long: what is shown is no longer live.
const STALE_MS = 700;
const LEVEL_SECONDS = 0.5;
const LEVEL_SAMPLES = Math.round(LEVEL_SECONDS / SECONDS_PER_SAMPLE);
const FULL_SCALE_RMS = 48;  // sample counts of RMS that fill a level bar
// The levels are read by eye: four refreshes a second are enough, and each
// costs the page a layout of the level list.
const LEVEL_REFRESH_MS = 250;
let levelsShownAt = -Infinity;

const COLOURS = ['#38bdf8', '#a78bfa', '#f472b6', '#fb923c', '#facc15', '#4ade80', '#2dd4bf', '#94a3b8'];

let plot = null;
let ring = null;
let paused = false;
let drawPending = false;
let restartAxis = true;
let channelLabels = [];
// Previews and draws counted over the current second, for the info line.
let recent = { previews: 0, draws: 0 };

function labelsFor(channels) {
  const members = maskMembers(server.channelMask);
  return members.length === channels ? members.map((n) => `ch ${n}`)
    : Array.from({ length: channels }, (_, i) => `ch ${i + 1}`);
}

function plotSize() {
  const width = $('#plot').clientWidth || 600;
  return { width, height: Math.round(Math.min(Math.max(width * 0.5, 220), 400)) };
}

// Channel i is drawn around its own lane, the first channel on top.
const laneCentre = (i, channels) => (channels - 1 - i) * LANE;

function createPlot(channels) {
  plot?.destroy();
  ring = new SampleRing(channels, CAPACITY, SECONDS_PER_SAMPLE);
  channelLabels = labelsFor(channels);
  buildLevels(channels);
  const container = $('#plot');
  const { width, height } = plotSize();
  const series = [{}];
  for (let i = 0; i < channels; i++) {
    series.push({ label: channelLabels[i], stroke: COLOURS[i % COLOURS.length], width: 1, points: { show: false } });
  }
  const centres = channelLabels.map((_, i) => laneCentre(i, channels));
  const axisStyle = { stroke: '#94a3b8', grid: { stroke: 'rgba(148,163,184,0.12)', width: 1 }, ticks: { show: false } };
  plot = new uPlot({
    width,
    height,
    legend: { show: false },
    cursor: { show: false },
    series,
    scales: {
      x: { time: false, range: (_, min, max) => [Math.max(max - WINDOW_SECONDS, 0), Math.max(max, WINDOW_SECONDS)] },
      y: { range: [-LANE / 2, (channels - 0.5) * LANE] },
    },
    axes: [
      { ...axisStyle, incrs: [1, 2, 5, 10, 30, 60], values: (_, ticks) => ticks.map((t) => `${t} s`) },
      { ...axisStyle, size: 48, splits: () => centres, values: () => channelLabels },
    ],
  }, ring.view(), container);
}

let lastPreviewAt = -Infinity;
let live = false;

function buildLevels(channels) {
  $('#levels').replaceChildren(...channelLabels.slice(0, channels).map((label, i) => {
    const bar = el('span', { class: 'level-bar' });
    bar.style.setProperty('--colour', COLOURS[i % COLOURS.length]);
    return el('li', { 'data-level': i }, el('span', { class: 'level-name' }, label), bar, el('span', { class: 'level-value num' }, '–'));
  }));
}

// RMS around the mean of each channel's last LEVEL_SAMPLES samples.
function showLevels() {
  levelsShownAt = performance.now();
  const [, ...channels] = ring.view();
  const items = $('#levels').children;
  channels.forEach((values, i) => {
    const from = Math.max(values.length - LEVEL_SAMPLES, 0);
    const n = values.length - from;
    let sum = 0;
    let squares = 0;
    for (let k = from; k < values.length; k++) {
      sum += values[k];
      squares += values[k] * values[k];
    }
    const rms = n ? Math.sqrt(Math.max(squares / n - (sum / n) ** 2, 0)) : 0;
    const item = items[i];
    if (!item) return;
    item.children[1].style.setProperty('--level', Math.min(rms / FULL_SCALE_RMS, 1).toFixed(3));
    item.children[2].textContent = n ? rms.toFixed(1) : '–';
  });
}

function setLive(next) {
  if (live === next) return;
  live = next;
  $('.area-signal').toggleAttribute('data-stale', !live);
  if (!live) $('#signal-info').textContent = notLiveText();
}

const notLiveText = () => (ring.total ? 'not live: the last signal received, greyed' : 'No signal');

function draw() {
  drawPending = false;
  if (paused || !plot) return;
  plot.setData(ring.view());
  if (performance.now() - levelsShownAt >= LEVEL_REFRESH_MS) showLevels();
  stats.plotDraws++;
  recent.draws++;
}

// Forgets the shown signal (the link went down: it is not this server's any more).
function clearSignal() {
  ring.clear();
  restartAxis = true;
  plot.setData(ring.view());
  showLevels();
  setLive(false);
}

function requestDraw() {
  if (drawPending || paused) return;
  drawPending = true;
  requestAnimationFrame(draw);
}

function handlePreview(data) {
  const preview = decodePreview(data);
  stats.previews++;
  recent.previews++;
  if (!preview) return;
  lastPreviewAt = performance.now();
  setLive(true);
  stats.previewFrames += preview.frameCount;
  if (ring.channels !== preview.channels) createPlot(preview.channels);
  if (restartAxis) ring.clear();
  restartAxis = false;
  const { channels, frameCount, samples } = preview;
  const toLane = (value, i) => value - MIDPOINT + laneCentre(i, channels);
  for (let f = 0; f < frameCount; f++) ring.push(samples.subarray(f * channels, (f + 1) * channels), toLane);
  requestDraw();
}

function togglePause() {
  paused = !paused;
  const button = $('#pause');
  button.textContent = paused ? 'Resume' : 'Pause';
  button.setAttribute('aria-pressed', String(paused));
  requestDraw();
}

function showRates() {
  if (performance.now() - lastPreviewAt > STALE_MS) setLive(false);
  $('#signal-info').textContent = live
    ? `live · ${ring.channels} channels · ${recent.previews} previews/s · ${recent.draws} draws/s${paused ? ' · paused' : ''}`
    : notLiveText();
  recent = { previews: 0, draws: 0 };
}

function signalHint(state) {
  if (!state.link) return 'No connection to the server.';
  if (state.armband.state !== 'connected') return 'The signal shows once the armband is connected and configured.';
  if (!state.channelMask) return 'Configure the channels to see the signal: check the electrodes before recording.';
  if (state.mode === 'identifying') return 'Identification has the signal; it shows again when identification stops.';
  if (state.mode === 'recording') return 'The signal being recorded.';
  return 'Check each electrode on the signal before recording.';
}

export function initSignal() {
  $('#pause').addEventListener('click', togglePause);
  onMessage((data) => {
    if (data[0] === Msg.PREVIEW) handlePreview(data);
    // After a disconnection the signal starts again at zero.
    else if (data[0] === Msg.DISCONNECT) restartAxis = true;
  });
  onConnectionChange((connected) => { if (!connected) clearSignal(); });
  setInterval(() => { if (live && performance.now() - lastPreviewAt > STALE_MS) setLive(false); }, STALE_MS / 2);
  onServerChange((state, changed) => {
    $('#signal-hint').textContent = signalHint(state);
    if (!changed.has('channelMask')) return;
    const configured = bitCount(state.channelMask);
    if (ring.total === 0 && configured && configured !== ring.channels) {
      createPlot(configured);
    } else {
      channelLabels.splice(0, channelLabels.length, ...labelsFor(ring.channels));
      buildLevels(ring.channels);
      plot.redraw(false, true);
    }
  });
  // Resized in the next frame: resizing inside the observer would notify it again at once.
  let shownWidth = 0;
  new ResizeObserver(() => requestAnimationFrame(() => {
    const size = plotSize();
    if (size.width === shownWidth) return;
    shownWidth = size.width;
    plot.setSize(size);
  })).observe($('#plot'));
  createPlot(bitCount(server.channelMask) || 8);
  $('.area-signal').toggleAttribute('data-stale', true);
  setInterval(showRates, 1000);
}
