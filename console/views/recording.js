// Recording: per gesture Record (30 s, with the server's countdown), Discard,
// Record again (replace) and Delete; the result in words; the recordings on
// disk with CSV downloads named after the gesture.
import { $, el, setTone, shortDate } from '../lib/dom.js';
import { send, onMessage, isOwnReply } from '../lib/connection.js';
import { Msg, Status, encode, RECORD_SECONDS } from '../lib/protocol.js';
import { deleteRecording, recordingCsvUrl } from '../lib/api.js';
import { gestureName, renameGesture, onRename } from '../lib/names.js';
import { server, onServerChange, syncNow, syncSoon } from '../lib/server-state.js';

const TICK_MS = 200;

const row = (n) => $(`[data-gesture-row="${n}"]`);

function button(action, n, text, label, extraClass = '') {
  return el('button', {
    type: 'button', class: `small ${extraClass}`.trim(), 'data-action': action, 'data-gesture': n,
    'data-sends': true, disabled: true, 'aria-label': label,
  }, text);
}

function buildRows() {
  const list = $('#gesture-rows');
  for (let n = 1; n <= 8; n++) {
    const name = el('input', {
      type: 'text', value: gestureName(n), 'data-gesture-name': n, maxlength: 40,
      'aria-label': `Name of gesture ${n}`, spellcheck: 'false', title: 'Click to rename',
    });
    name.addEventListener('change', () => renameGesture(n, name.value));
    const record = button('record', n, 'Record', `Record gesture ${n}`);
    record.dataset.record = n;
    record.addEventListener('click', () => startRecording(n));
    const discard = button('discard', n, 'Discard', `Discard the running recording of gesture ${n}`, 'quiet');
    discard.dataset.discard = n;
    discard.addEventListener('click', () => send(encode.recordStop()));
    const again = button('record-again', n, 'Record again', `Replace the recording of gesture ${n}`, 'quiet');
    again.dataset.recordAgain = n;
    again.addEventListener('click', () => recordAgain(n));
    const remove = button('delete', n, 'Delete', `Delete the recording of gesture ${n}`, 'quiet');
    remove.dataset.delete = n;
    remove.addEventListener('click', () => removeRecording(n));
    list.append(el('li', { class: 'gesture-row', 'data-gesture-row': n },
      el('span', { class: 'gesture-number num', 'aria-hidden': 'true' }, `${n}`),
      name,
      el('span', { class: 'on-disk num', 'data-on-disk': n }, ''),
      el('div', { class: 'row-progress' },
        el('progress', { 'data-record-progress': n, max: RECORD_SECONDS, value: 0, 'aria-label': `Recording progress of gesture ${n}` }),
        el('span', { class: 'countdown num', 'data-countdown': n }, '')),
      record, discard, again, remove));
  }
}

function showResult(tone, text) {
  setTone($('#record-result'), tone, text);
}

function startRecording(n) {
  if (send(encode.recordStart(n))) syncSoon(300);
}

async function recordAgain(n) {
  const name = gestureName(n);
  if (!window.confirm(`Replace the recording of ${name}? Its recording is deleted and a new one of 30 s is made.`)) return;
  if (await removeRecording(n)) startRecording(n);
}

// Deletes raw<n>.bin; true when it is gone.
async function removeRecording(n) {
  const { status, error } = await deleteRecording(n).catch((failure) => ({ status: 0, error: failure.message }));
  await syncNow();
  if (status === 204) {
    showResult('info', `recording of ${gestureName(n)} deleted`);
    return true;
  }
  showResult('error', status === 409 ? `not deleted: ${gestureName(n)} is being recorded`
    : status === 404 ? `${gestureName(n)} has no recording` : `not deleted: ${error}`);
  return false;
}

// The countdown runs on the server's clock: the end time comes from the
// remaining time in /api/status, so a reload or a second page shows the same.
let shownGesture = null;

function tick() {
  const running = server.recording;
  if (shownGesture !== null && shownGesture !== running?.gesture) {
    row(shownGesture)?.removeAttribute('data-active');
    $(`[data-record-progress="${shownGesture}"]`).value = 0;
    $(`[data-countdown="${shownGesture}"]`).textContent = '';
    shownGesture = null;
  }
  if (!running || running.gesture < 1 || running.gesture > 8) return;
  shownGesture = running.gesture;
  row(shownGesture).setAttribute('data-active', '');
  const left = Math.max(running.endsAt - performance.now(), 0) / 1000;
  $(`[data-record-progress="${shownGesture}"]`).value = RECORD_SECONDS - left;
  $(`[data-countdown="${shownGesture}"]`).textContent = left > 0 ? `${Math.ceil(left)} s` : 'saving…';
}

const recordingSummary = (running) =>
  (running.gesture >= 1 && running.gesture <= 8 ? `recording ${gestureName(running.gesture)}…` : 'recording…');

function followServer(state, changed) {
  // A result word belongs to the connection that answered it: it does not outlive it.
  // (Checked before tick() below forgets the recording shown.)
  if (changed.has('link') && !state.link) {
    if (shownGesture !== null) showResult('warn', 'connection lost during the recording: On disk shows what was saved once the page is back');
    else showResult('info', '');
  }
  if (changed.has('gestureMask')) {
    for (let n = 1; n <= 8; n++) row(n).toggleAttribute('data-selected', Boolean(state.gestureMask & (1 << (n - 1))));
  }
  if (changed.has('recordings') || changed.has('lastChannels')) showRecordings(state.recordings);
  if (changed.has('recording') && state.recording && !changed.has('link')) showResult('info', recordingSummary(state.recording));
  if (changed.has('recording') || changed.has('mode')) tick();
}

// Every page receives every [0x06, 0xFF]: a refusal right after a command
// belongs to the page that sent it; a failed save comes when the server's
// timer ends, and is shown by every page.
const SAVE_MARGIN_MS = 2000;

function handleRecordMessage(value, own) {
  const running = server.recording;
  if (value === Status.OK) {
    showResult('ok', 'saved');
  } else if (value === Status.STOPPED) {
    showResult('warn', 'discarded');
  } else if (running && running.endsAt - performance.now() < SAVE_MARGIN_MS) {
    showResult('error', 'not saved: no data arrived from the armband, or the data folder could not be written');
  } else if (own) {
    showResult('error', refusalWords());
  }
  syncSoon();
}

function refusalWords() {
  if (server.mode === 'recording') return 'refused: another recording is running; wait for it or discard it';
  if (server.mode !== 'idle') return 'refused: stop identification or the gesture stream first';
  if (!server.channelMask) return 'refused: configure the channels and gestures first';
  return 'refused by the server';
}

function lengthText(recording) {
  if (recording.seconds != null) return `${recording.seconds.toFixed(1)} s`;
  return '? s';
}

// A file's length in seconds needs its channel count, known once configured.
const UNKNOWN_LENGTH_TITLE = 'Length known once the channels are configured';
const lengthTitle = (recording) => (recording.seconds == null ? UNKNOWN_LENGTH_TITLE : '');

const csvName = (n) => `${n}-${gestureName(n).replace(/[^\p{L}\p{N} _-]+/gu, '_')}.csv`;

function showRecordings(recordings) {
  for (let n = 1; n <= 8; n++) {
    const recording = recordings.find((r) => r.gesture === n);
    const onDisk = $(`[data-on-disk="${n}"]`);
    onDisk.textContent = recording ? lengthText(recording) : '';
    onDisk.title = recording ? lengthTitle(recording) : '';
  }
  if (recordings.length === 0) {
    $('#recordings').replaceChildren(el('li', { class: 'empty' }, 'No recordings yet.'));
    return;
  }
  $('#recordings').replaceChildren(...recordings.map(recordingItem));
}

function recordingItem(recording) {
  const { gesture, file, modified } = recording;
  const named = gesture >= 1 && gesture <= 8;
  return el('li', { 'data-recording': gesture },
    el('span', { class: 'recording-name' }, named ? gestureName(gesture) : file),
    el('span', { class: 'num', title: lengthTitle(recording) }, lengthText(recording)),
    el('span', { class: 'muted' }, modified ? shortDate(modified) : ''),
    el('a', {
      href: recordingCsvUrl(gesture), download: named ? csvName(gesture) : `${file}.csv`,
      title: recording.seconds == null ? 'Configure the channels first: the file does not record its channel count' : `Download ${file} as CSV`,
    }, 'CSV'));
}

export function initRecording() {
  buildRows();
  $('#recordings-refresh').addEventListener('click', syncNow);
  onRename((n) => {
    const input = $(`[data-gesture-name="${n}"]`);
    if (document.activeElement !== input) input.value = gestureName(n);
    showRecordings(server.recordings);
  });
  onMessage((data) => {
    if (data[0] === Msg.RECORD && data.length >= 2) handleRecordMessage(data[1], isOwnReply(data));
    else if (data[0] === Msg.DISCONNECT && data[1] === Status.OK && server.recording) {
      showResult('error', 'failed: the armband disconnected; nothing was saved');
    }
  });
  onServerChange(followServer);
  followServer(server, new Set(['gestureMask', 'recordings']));
  setInterval(tick, TICK_MS);
}
