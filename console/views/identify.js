// Identify: start/stop live identification, the current gesture in large
// type, and a timeline of the last 30 s of results.
import { $, el } from '../lib/dom.js';
import { send, onMessage } from '../lib/connection.js';
import { Msg, Status, encode, maskMembers } from '../lib/protocol.js';
import { gestureName, onRename } from '../lib/names.js';
import { server, onServerChange, syncNow } from '../lib/server-state.js';

const TIMELINE_MS = 30000;
const REFUSAL_CHECK_MS = 600;
const REST_COLOUR = 'rgba(148,163,184,0.25)';
const GESTURE_COLOURS = ['#38bdf8', '#a78bfa', '#f472b6', '#fb923c', '#facc15', '#4ade80', '#2dd4bf', '#e879f9'];
const NO_GESTURE = 0;

// Results in arrival order: { at, gesture } with gesture 1..8, NO_GESTURE,
// or null where identification stopped.
let results = [];
let current = null;

const colourOf = (gesture) => (gesture === NO_GESTURE ? REST_COLOUR : GESTURE_COLOURS[(gesture - 1) % 8]);

function showCurrent() {
  const node = $('#current-gesture');
  node.textContent = current >= 1 && current <= 8 ? gestureName(current) : 'no gesture';
  node.dataset.idle = String(!(current >= 1 && current <= 8));
  node.style.setProperty('--gesture-colour', current >= 1 && current <= 8 ? colourOf(current) : '');
}

function addResult(gesture) {
  const now = performance.now();
  results.push({ at: now, gesture });
  while (results.length > 1 && results[1].at < now - TIMELINE_MS) results.shift();
  current = gesture;
  showCurrent();
}

let timelineBlank = false;

function drawTimeline() {
  // Nothing to scroll once the last result has left the window.
  const last = results[results.length - 1];
  const blank = !last || (last.gesture === null && last.at < performance.now() - TIMELINE_MS);
  if (blank && timelineBlank) return;
  timelineBlank = blank;
  const canvas = $('#identify-timeline');
  const width = canvas.clientWidth;
  const height = canvas.clientHeight;
  const scale = window.devicePixelRatio || 1;
  if (canvas.width !== Math.round(width * scale)) {
    canvas.width = Math.round(width * scale);
    canvas.height = Math.round(height * scale);
  }
  const context = canvas.getContext('2d');
  context.setTransform(scale, 0, 0, scale, 0, 0);
  context.clearRect(0, 0, width, height);
  const now = performance.now();
  const xOf = (at) => Math.max(0, (1 - (now - at) / TIMELINE_MS) * width);
  for (let i = 0; i < results.length; i++) {
    const { at, gesture } = results[i];
    if (gesture === null) continue;
    const until = i + 1 < results.length ? results[i + 1].at : now;
    const x = xOf(at);
    const bar = gesture === NO_GESTURE ? height * 0.3 : height;
    context.fillStyle = colourOf(gesture);
    context.fillRect(x, (height - bar) / 2, Math.max(xOf(until) - x, 1), bar);
  }
}

function showLegend() {
  const gestures = maskMembers(server.gestureMask);
  $('#identify-legend').replaceChildren(...(gestures.length ? gestures : [1, 2, 3, 4, 5, 6, 7, 8]).map((g) => {
    const swatch = el('span', { class: 'swatch' });
    swatch.style.background = colourOf(g);
    return el('li', {}, swatch, gestureName(g));
  }));
}

// A refusal is [0x08,0xFF], the same bytes as "no gesture"; the server's
// mode tells them apart.
async function checkStarted() {
  await syncNow();
  if (server.mode === 'identifying') return;
  $('#identify-hint').textContent = 'Identification did not start: train a model that matches the configured channels and gestures, and stop recording or the gesture stream first.';
  if (current !== null) handleIdentify(Status.STOPPED);
}

function handleIdentify(value) {
  if (value === Status.STOPPED) {
    results.push({ at: performance.now(), gesture: null });
    current = null;
    showCurrent();
  } else if (value >= 1 && value <= 8) {
    addResult(value);
  } else if (value === Status.FAIL) {
    addResult(NO_GESTURE);
  }
}

export function initIdentify() {
  $('#identify-start').addEventListener('click', () => {
    if (!send(encode.identifyStart())) return;
    $('#identify-hint').textContent = '';
    setTimeout(checkStarted, REFUSAL_CHECK_MS);
  });
  $('#identify-stop').addEventListener('click', () => send(encode.identifyStop()));
  onMessage((data) => { if (data[0] === Msg.IDENTIFY && data.length >= 2) handleIdentify(data[1]); });
  onServerChange((state, changed) => {
    if (changed.has('gestureMask')) showLegend();
    if (changed.has('mode') && state.mode !== 'identifying' && current !== null) handleIdentify(Status.STOPPED);
  });
  onRename(() => { showCurrent(); showLegend(); });
  showCurrent();
  showLegend();
  setInterval(drawTimeline, 200);
}
