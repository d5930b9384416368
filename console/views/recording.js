// Recording: per gesture Record (30 s, with countdown) and Discard, the
// result, and the recordings on disk with CSV downloads.
import { $, $$, el, setTone, shortDate } from '../lib/dom.js';
import { send, onMessage, onConnectionChange } from '../lib/connection.js';
import { Cmd, Msg, Status, encode, RECORD_SECONDS } from '../lib/protocol.js';
import { getRecordings, recordingCsvUrl } from '../lib/api.js';
import { gestureName, renameGesture, onRename } from '../lib/names.js';
import { server, onServerChange, noteRecordStart, syncSoon } from '../lib/server-state.js';

// A refusal comes at once; a failed save only after the 30 s.
const REFUSAL_WINDOW_MS = 1500;

let active = null;        // { gesture, startedAt } while the server records
let lastCommand = { code: 0, at: 0 };

const row = (n) => $(`[data-gesture-row="${n}"]`);

function buildRows() {
  const list = $('#gesture-rows');
  for (let n = 1; n <= 8; n++) {
    const name = el('input', {
      type: 'text', value: gestureName(n), 'data-gesture-name': n, maxlength: 40,
      'aria-label': `Name of gesture ${n}`, spellcheck: 'false',
    });
    name.addEventListener('change', () => renameGesture(n, name.value));
    const record = el('button', { type: 'button', 'data-record': n, class: 'small', 'data-sends': true, disabled: true, 'aria-label': `Record gesture ${n}` }, 'Record');
    record.addEventListener('click', () => startRecording(n));
    const discard = el('button', { type: 'button', 'data-discard': n, class: 'small quiet', 'data-sends': true, disabled: true, 'aria-label': `Discard the recording of gesture ${n}` }, 'Discard');
    discard.addEventListener('click', () => {
      if (send(encode.recordStop())) lastCommand = { code: Cmd.RECORD_STOP, at: performance.now() };
    });
    list.append(el('li', { class: 'gesture-row', 'data-gesture-row': n },
      el('span', { class: 'gesture-number num', 'aria-hidden': 'true' }, `${n}`),
      name,
      el('span', { class: 'on-disk num', 'data-on-disk': n }, ''),
      el('div', { class: 'row-progress' },
        el('progress', { 'data-record-progress': n, max: RECORD_SECONDS, value: 0, 'aria-label': `Recording progress of gesture ${n}` }),
        el('span', { class: 'countdown num', 'data-countdown': n }, '')),
      record, discard));
  }
}

function startRecording(n) {
  if (!send(encode.recordStart(n))) return;
  lastCommand = { code: Cmd.RECORD_START, at: performance.now() };
  noteRecordStart(n);
  syncSoon(300);
}

function showResult(tone, text) {
  setTone($('#record-result'), tone, text);
}

function setActive(next) {
  if (active) {
    row(active.gesture)?.removeAttribute('data-active');
    resetProgress(active.gesture);
  }
  active = next;
  if (active) row(active.gesture)?.setAttribute('data-active', '');
}

function resetProgress(n) {
  const progress = $(`[data-record-progress="${n}"]`);
  if (progress) progress.value = 0;
  const countdown = $(`[data-countdown="${n}"]`);
  if (countdown) countdown.textContent = '';
}

function tick() {
  if (!active) return;
  const elapsed = (performance.now() - active.startedAt) / 1000;
  $(`[data-record-progress="${active.gesture}"]`).value = Math.min(elapsed, RECORD_SECONDS);
  $(`[data-countdown="${active.gesture}"]`).textContent =
    elapsed < RECORD_SECONDS ? `${Math.ceil(RECORD_SECONDS - elapsed)} s` : 'saving…';
}

function followServer(state, changed) {
  // The seconds of a recording depend on the channel count in use.
  if (changed.has('channelMask')) refreshRecordings();
  if (changed.has('gestureMask')) {
    for (let n = 1; n <= 8; n++) row(n).toggleAttribute('data-selected', Boolean(state.gestureMask & (1 << (n - 1))));
  }
  if (!changed.has('mode') && !changed.has('recordGesture')) return;
  if (state.mode !== 'recording') {
    setActive(null);
    return;
  }
  const gesture = state.recordGesture;
  if (gesture == null || gesture < 1 || gesture > 8) {
    showResult('info', gesture == null ? 'recording…' : `recording gesture ${gesture}…`);
    return;
  }
  if (active?.gesture === gesture) return;
  // Started by this page: the countdown runs from the click.
  const ownStart = lastCommand.code === Cmd.RECORD_START && performance.now() - lastCommand.at < 2000;
  setActive({ gesture, startedAt: ownStart ? lastCommand.at : performance.now() });
  showResult('info', `recording ${gestureName(gesture)}…`);
}

function handleRecordMessage(value) {
  const sinceCommand = performance.now() - lastCommand.at;
  if (value === Status.OK) {
    showResult('ok', 'saved');
    refreshRecordings();
  } else if (value === Status.STOPPED) {
    showResult('warn', 'discarded');
  } else if (lastCommand.code === Cmd.RECORD_STOP && sinceCommand < REFUSAL_WINDOW_MS) {
    showResult('error', 'failed: no recording was running');
  } else if (lastCommand.code === Cmd.RECORD_START && sinceCommand < REFUSAL_WINDOW_MS) {
    showResult('error', 'failed: the server is busy; stop identification or the gesture stream first');
  } else if (active) {
    showResult('error', 'failed: the recording could not be written to the data folder');
  } else {
    showResult('error', 'failed: refused; the server was not idle, or no recording was running');
  }
}

async function refreshRecordings() {
  let listing;
  try {
    listing = await getRecordings();
  } catch (error) {
    $('#recordings').replaceChildren(el('li', { class: 'empty' }, `Could not read the recordings: ${error.message}`));
    return;
  }
  const recordings = listing?.recordings ?? [];
  for (let n = 1; n <= 8; n++) {
    const seconds = recordings.find((r) => r.gesture === n)?.seconds;
    $(`[data-on-disk="${n}"]`).textContent = seconds == null ? '' : `${seconds.toFixed(1)} s`;
  }
  if (recordings.length === 0) {
    $('#recordings').replaceChildren(el('li', { class: 'empty' }, 'No recordings yet.'));
    return;
  }
  const unknownChannels = listing.channels == null;
  $('#recordings').replaceChildren(...recordings.map((r) => recordingItem(r, unknownChannels)));
}

function recordingItem(recording, unknownChannels) {
  const { gesture, file, bytes, seconds, modified } = recording;
  const title = gesture >= 1 && gesture <= 8 ? gestureName(gesture) : file;
  const length = seconds == null ? `${bytes.toLocaleString()} bytes` : `${seconds.toFixed(1)} s`;
  const when = modified ? shortDate(modified) : '';
  return el('li', { 'data-recording': gesture },
    el('span', { class: 'recording-name' }, title),
    el('span', { class: 'num' }, length),
    el('span', { class: 'muted' }, when),
    el('a', {
      href: recordingCsvUrl(gesture), download: `raw${gesture}.csv`,
      title: unknownChannels ? 'Configure the channels first: the file does not record its channel count' : `Download ${file} as CSV`,
    }, 'CSV'));
}

export function initRecording() {
  buildRows();
  $('#recordings-refresh').addEventListener('click', refreshRecordings);
  onRename((n) => {
    const input = $(`[data-gesture-name="${n}"]`);
    if (document.activeElement !== input) input.value = gestureName(n);
    $$(`[data-recording="${n}"] .recording-name`).forEach((node) => { node.textContent = gestureName(n); });
  });
  onMessage((data) => {
    if (data[0] === Msg.RECORD && data.length >= 2) handleRecordMessage(data[1]);
    else if (data[0] === Msg.DISCONNECT && data[1] === Status.OK && active) {
      showResult('error', 'failed: the armband disconnected; nothing was saved');
    }
  });
  onServerChange(followServer);
  onConnectionChange((connected) => { if (connected) refreshRecordings(); });
  followServer(server, new Set(['mode', 'gestureMask']));
  setInterval(tick, 200);
}
