// Signal: a scrolling plot of every channel in the EMG previews. Every
// preview is buffered when it arrives; the plot is drawn at most once per
// animation frame from the buffer, so slow drawing skips frames, never data.
import uPlot from '/vendor/uplot.esm.js';
import { $ } from '../lib/dom.js';
import { onMessage } from '../lib/connection.js';
import { stats } from '../lib/stats.js';
import { server, onServerChange } from '../lib/server-state.js';
import { Msg, bitCount, decodePreview, maskMembers, FRAMES_PER_SECOND, PREVIEW_FRAMES_PER_PACKET } from '../lib/protocol.js';
import { SampleRing } from '../lib/sample-ring.js';

const WINDOW_SECONDS = 6;
const SECONDS_PER_SAMPLE = PREVIEW_FRAMES_PER_PACKET / FRAMES_PER_SECOND;
const CAPACITY = Math.ceil(WINDOW_SECONDS / SECONDS_PER_SAMPLE);
const LANE = 80;            // vertical room of one channel, in sample counts
const MIDPOINT = 128;       // an 8-bit sample's centre

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

function draw() {
  drawPending = false;
  if (paused || !plot) return;
  plot.setData(ring.view());
  stats.plotDraws++;
  recent.draws++;
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
  $('#signal-info').textContent = stats.previews
    ? `${ring.channels} channels · ${recent.previews} previews/s · ${recent.draws} draws/s${paused ? ' · paused' : ''}`
    : 'No previews yet';
  recent = { previews: 0, draws: 0 };
}

export function initSignal() {
  $('#pause').addEventListener('click', togglePause);
  onMessage((data) => {
    if (data[0] === Msg.PREVIEW) handlePreview(data);
    // The next recording starts its time axis at zero.
    else if (data[0] === Msg.RECORD || data[0] === Msg.DISCONNECT) restartAxis = true;
  });
  onServerChange((state, changed) => {
    if (!changed.has('channelMask')) return;
    const configured = bitCount(state.channelMask);
    if (ring.total === 0 && configured && configured !== ring.channels) {
      createPlot(configured);
    } else {
      channelLabels.splice(0, channelLabels.length, ...labelsFor(ring.channels));
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
  setInterval(showRates, 1000);
}
