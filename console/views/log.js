// Log: the last messages in and out, decoded to names. Runs of EMG previews
// are folded into one line with a count, so they do not flood the log.
import { $, el } from '../lib/dom.js';
import { onMessage, onSent, onConnectionChange, isOwnReply } from '../lib/connection.js';
import { Msg, Status, describeMessage, hexBytes } from '../lib/protocol.js';

const MAX_ENTRIES = 200;
const MAX_HEX_BYTES = 12;
// A folded run of previews is redrawn at most this often: rewriting the line
// on every preview costs the page more than the plot does.
const FOLDED_REFRESH_MS = 500;

const entries = [];   // { at, direction, name, bytes, count, node }
const pending = new Set();
let flushQueued = false;
let foldTimer = null;

const timeText = (date) => `${date.toLocaleTimeString([], { hour12: false })}.${String(date.getMilliseconds()).padStart(3, '0')}`;

function hexText(data) {
  const shown = hexBytes(data.subarray(0, MAX_HEX_BYTES));
  return data.length > MAX_HEX_BYTES ? `${shown} … (${data.length} bytes)` : shown;
}

// The time is formatted only when a line is shown: toLocaleTimeString for
// every folded preview cost the page more than its log did.
function lineText(entry) {
  const time = timeText(entry.at);
  if (entry.direction === 'note') return `${time}  ${entry.name}`;
  const arrow = entry.direction === 'in' ? '←' : '→';
  const count = entry.count > 1 ? ` ×${entry.count}` : '';
  return `${time}  ${arrow}  ${entry.name}${count}  [${entry.bytes}]`;
}

function show(entry) {
  pending.add(entry);
  if (flushQueued) return;
  flushQueued = true;
  requestAnimationFrame(flush);
}

function showFolded(entry) {
  if (foldTimer !== null) return;
  foldTimer = setTimeout(() => {
    foldTimer = null;
    show(entry);
  }, FOLDED_REFRESH_MS);
}

function add(direction, name, bytes = '', preview = false) {
  const entry = { at: new Date(), direction, name, bytes, count: 1, preview, node: null };
  entries.push(entry);
  while (entries.length > MAX_ENTRIES) {
    const dropped = entries.shift();
    dropped.node?.remove();
    pending.delete(dropped);
  }
  show(entry);
}

// [0x08, 0xFF] answering this page's IDENTIFY_START is its refusal; otherwise "no gesture".
function nameOf(direction, data) {
  const refused = direction === 'in' && data[0] === Msg.IDENTIFY && data[1] === Status.FAIL && isOwnReply(data);
  return refused ? 'IDENTIFY_START refused' : describeMessage(direction, data);
}

function record(direction, data) {
  const last = entries[entries.length - 1];
  const isPreview = direction === 'in' && data[0] === Msg.PREVIEW;
  if (isPreview && last?.preview) {
    last.count++;
    last.at = new Date();
    last.bytes = hexText(data);
    showFolded(last);
  } else {
    add(direction, nameOf(direction, data), hexText(data), isPreview);
  }
}

function flush() {
  flushQueued = false;
  const list = $('#log');
  const stick = list.scrollTop + list.clientHeight >= list.scrollHeight - 4;
  for (const entry of pending) {
    if (!entry.node) {
      entry.node = el('li', { 'data-direction': entry.direction });
      list.append(entry.node);
    }
    entry.node.textContent = lineText(entry);
  }
  pending.clear();
  if (stick) list.scrollTop = list.scrollHeight;
  $('#log-info').textContent = entries.length === 1 ? '1 line' : `${entries.length} lines`;
}

async function writeClipboard(text) {
  if (navigator.clipboard) {
    await navigator.clipboard.writeText(text);
    return;
  }
  // A page opened from another machine over plain http has no clipboard API.
  const area = el('textarea', { readonly: true, class: 'offscreen' });
  area.value = text;
  document.body.append(area);
  area.select();
  const copied = document.execCommand('copy');
  area.remove();
  if (!copied) throw new Error('copy refused');
}

async function copyLog() {
  const button = $('#copy-log');
  try {
    await writeClipboard(entries.map(lineText).join('\n'));
    button.textContent = 'Copied';
  } catch {
    button.textContent = 'Copy failed';
  }
  setTimeout(() => { button.textContent = 'Copy'; }, 1500);
}

export function initLog() {
  onMessage((data) => record('in', data));
  onSent((data) => record('out', data));
  onConnectionChange((connected) => add('note', connected ? 'connected to emgbridge' : 'connection lost'));
  $('#copy-log').addEventListener('click', copyLog);
}
