// The held-out evaluation of the latest model (/api/evaluation): confusion
// matrix as a heat map, accuracy per gesture, and advice.
import { $, el } from '../lib/dom.js';
import { getEvaluation } from '../lib/api.js';
import { gestureName, onRename } from '../lib/names.js';

const POLL_MS = 1000;
const MAX_POLL_MS = 120000;

let pollTimer = null;
let pollRun = 0;
let lastResult = null;

const percent = (fraction) => `${(100 * fraction).toFixed(0)} %`;

function show(...children) {
  $('#evaluation').replaceChildren(...children);
}

function heatMap(gestures, confusion) {
  const numbers = gestures.map((g) => g.gesture);
  const head = el('tr', {}, el('th', { scope: 'col', class: 'corner' }, 'true ↓ predicted →'),
    ...numbers.map((n) => el('th', { scope: 'col', class: 'col-name', title: gestureName(n) }, gestureName(n))));
  const rows = confusion.map((counts, k) => {
    const total = counts.reduce((sum, c) => sum + c, 0) || 1;
    return el('tr', {}, el('th', { scope: 'row', title: gestureName(numbers[k]) }, gestureName(numbers[k])),
      ...counts.map((count, m) => {
        const share = count / total;
        const cell = el('td', { class: k === m ? 'diagonal num' : 'num', title: `${count} windows (${percent(share)})` }, `${count}`);
        cell.style.setProperty('--share', share.toFixed(3));
        return cell;
      }));
  });
  return el('table', { class: 'heatmap' }, el('thead', {}, head), el('tbody', {}, ...rows));
}

function accuracyList(gestures) {
  return el('ul', { class: 'accuracies' }, ...gestures.map((g) => {
    const bar = el('span', { class: 'bar' });
    bar.style.setProperty('--value', g.heldOutAccuracy.toFixed(3));
    const tone = g.heldOutAccuracy >= 0.9 ? 'ok' : g.heldOutAccuracy >= 0.8 ? 'warn' : 'error';
    return el('li', { 'data-tone': tone },
      el('span', { class: 'accuracy-name' }, gestureName(g.gesture)), bar,
      el('span', { class: 'num' }, percent(g.heldOutAccuracy)));
  }));
}

function adviceList(advice) {
  if (!advice?.length) return el('p', { class: 'advice', 'data-tone': 'ok' }, 'Every gesture is recognised well on held-out data.');
  return el('ul', { class: 'advice' }, ...advice.map((a) => el('li', { 'data-tone': 'warn' },
    a.confusedWith
      ? `${gestureName(a.gesture)} (${percent(a.heldOutAccuracy)}) is mostly taken for ${gestureName(a.confusedWith)}: record ${gestureName(a.gesture)} again, held more distinctly.`
      : a.message ?? String(a))));
}

function render(result) {
  lastResult = result;
  if (!result) {
    show();
    return;
  }
  if (result.state === 'pending') {
    show(el('p', { class: 'hint' }, el('span', { class: 'spinner', 'aria-hidden': 'true' }), ' Evaluating the model on held-out data…'));
    return;
  }
  if (result.error) {
    show(el('p', { class: 'advice', 'data-tone': 'error' }, `Evaluation failed: ${result.error}`));
    return;
  }
  const gestures = result.gestures ?? [];
  const parts = [el('h3', {}, 'Held-out evaluation',
    result.meanHeldOutAccuracy == null ? '' : el('span', { class: 'num mean' }, ` mean ${percent(result.meanHeldOutAccuracy)}`))];
  if (gestures.length && result.confusion?.length === gestures.length) parts.push(heatMap(gestures, result.confusion));
  if (gestures.length) parts.push(accuracyList(gestures));
  parts.push(adviceList(result.advice));
  show(...parts);
}

// Reads the evaluation, and again while it is pending.
export async function refreshEvaluation() {
  clearTimeout(pollTimer);
  const run = ++pollRun;
  const started = performance.now();
  const poll = async () => {
    let result;
    try {
      result = await getEvaluation();
    } catch {
      result = null;
    }
    if (run !== pollRun) return;
    render(result);
    if (result?.state === 'pending' && performance.now() - started < MAX_POLL_MS) pollTimer = setTimeout(poll, POLL_MS);
  };
  await poll();
}

// The server has no evaluation (none yet, or another server after a reconnection).
export function clearEvaluation() {
  clearTimeout(pollTimer);
  pollRun++;
  render(null);
}

export function initEvaluation() {
  onRename(() => render(lastResult));
}
