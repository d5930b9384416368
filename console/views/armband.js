// Armband: scan, connect, disconnect, versions, and the channel and gesture
// selection sent as EMG_RAW_CONFIG.
import { $, el, setTone } from '../lib/dom.js';
import { send, onMessage, isOwnReply } from '../lib/connection.js';
import { Msg, Status, encode, maskMembers } from '../lib/protocol.js';
import { describeStatus } from '../lib/words.js';
import { gestureName, onRename } from '../lib/names.js';
import { server, onServerChange, syncSoon } from '../lib/server-state.js';

const STATE_WORDS = {
  none: ['Not found', 'info'],
  found: ['Found', 'info'],
  connecting: ['Connecting…', 'warn'],
  connected: ['Connected', 'ok'],
  disconnecting: ['Disconnecting…', 'warn'],
  disconnected: ['Disconnected', 'error'],
  unknown: ['–', 'info'],
};

const DEFAULT_CHANNEL_MASK = 0xff;
const DEFAULT_GESTURE_MASK = 0x07;

const checkbox = (kind, n) => $(`#${kind}-${n}`);

function buildChecks() {
  for (let n = 1; n <= 8; n++) {
    $('#channel-checks').append(el('label', { class: 'check' },
      el('input', { type: 'checkbox', id: `channel-${n}` }), el('span', {}, `${n}`)));
    $('#gesture-checks').append(el('label', { class: 'check' },
      el('input', { type: 'checkbox', id: `gesture-${n}` }),
      el('span', { 'data-gesture-label': n }, gestureName(n))));
  }
  showMasks(DEFAULT_CHANNEL_MASK, DEFAULT_GESTURE_MASK);
}

function readMask(kind) {
  let mask = 0;
  for (let n = 1; n <= 8; n++) if (checkbox(kind, n).checked) mask |= 1 << (n - 1);
  return mask;
}

function showMasks(channelMask, gestureMask) {
  for (let n = 1; n <= 8; n++) {
    checkbox('channel', n).checked = Boolean(channelMask & (1 << (n - 1)));
    checkbox('gesture', n).checked = Boolean(gestureMask & (1 << (n - 1)));
  }
}

function showStatus(tone, text, next = '') {
  const box = $('#armband-status');
  setTone(box, tone, text);
  if (next) box.append(el('span', { class: 'next' }, next));
}

let shownState = null;

function showServer(state, changed) {
  if (changed.has('armband')) {
    const stateChanged = state.armband.state !== shownState;
    const becameConnected = stateChanged && state.armband.state === 'connected';
    shownState = state.armband.state;
    if (becameConnected && !state.armband.firmware) send(encode.version());
    const [words, tone] = STATE_WORDS[state.armband.state] ?? [state.armband.state, 'info'];
    setTone($('#armband-state'), tone, words);
    $('#firmware').textContent = state.armband.firmware || '–';
    $('#hardware').textContent = state.armband.hardware || '–';
    if (stateChanged) showStatus(...statusFor(state));
  }
  if (changed.has('channelMask') || changed.has('gestureMask')) {
    // A cleared configuration (after a disconnection) keeps the selection
    // on the page, ready to be sent again.
    if (state.channelMask || state.gestureMask) showMasks(state.channelMask, state.gestureMask);
    $('#configure-hint').textContent = state.channelMask
      ? `In use: ${maskMembers(state.channelMask).length} channels, gestures ${maskMembers(state.gestureMask).join(', ') || 'none'}`
      : 'Not configured';
  }
}

// The words for the armband's state as the server reports it, e.g. for a page
// opened while the armband is already connected.
function statusFor(state) {
  const configured = state.channelMask !== 0;
  switch (state.armband.state) {
    case 'connected':
      return configured ? ['ok', 'Armband connected and configured.', 'Record each gesture.']
        : ['ok', 'Armband connected.', 'Choose channels and gestures, then press Configure.'];
    case 'found': return ['ok', 'Armband found.', 'Press Connect.'];
    case 'connecting': return ['info', 'Connecting…', ''];
    case 'disconnected': return ['warn', 'Armband disconnected.', 'Scan and connect again, then configure.'];
    case 'unknown': return ['warn', 'No connection to emgbridge.', 'The page reconnects by itself.'];
    default: return ['info', 'Scan for the armband to begin.', ''];
  }
}

const SHOWN = [Msg.SCAN, Msg.CONNECT, Msg.DISCONNECT, Msg.CONFIG];

function handleMessage(data) {
  const [code, value] = data;
  if (data.length < 2) return;
  if (SHOWN.includes(code)) {
    // An immediate refusal is shown only by the page that sent the command.
    if (value === Status.FAIL && !isOwnReply(data)) return;
    const { tone, text, next } = describeStatus(code, value);
    showStatus(tone, text, next);
  }
}

export function initArmband() {
  buildChecks();
  $('#scan').addEventListener('click', () => {
    if (send(encode.scan())) showStatus('info', 'Scanning…', 'Keep the armband switched on and near the hub; scanning goes on until it is found.');
  });
  $('#connect').addEventListener('click', () => {
    if (send(encode.connect())) {
      showStatus('info', 'Connecting…', '');
      syncSoon(100);
    }
  });
  $('#disconnect').addEventListener('click', () => send(encode.disconnect()));
  $('#configure').addEventListener('click', () => {
    const channelMask = readMask('channel');
    const gestureMask = readMask('gesture');
    if (send(encode.configure(channelMask, gestureMask))) {
      showStatus('info', 'Configuring…', channelMask ? '' : 'No channel is selected: the armband will send no data.');
    }
  });
  onRename((n) => { $(`[data-gesture-label="${n}"]`).textContent = gestureName(n); });
  onMessage(handleMessage);
  onServerChange(showServer);
  showServer(server, new Set(['armband', 'channelMask']));
}
