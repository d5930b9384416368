// What the page knows of the server's state: read from /api/status at load
// and after state-changing messages, and followed message by message in
// between, whichever client caused them.
import { getStatus } from './api.js';
import { Msg, Status, decodeVersion } from './protocol.js';

const SYNC_DELAY_MS = 150;

export const server = {
  mode: 'idle',            // idle | recording | identifying | gesture-stream
  recordGesture: null,
  armband: { state: 'none', firmware: '', hardware: '' },
  channelMask: 0,
  gestureMask: 0,
  virtualArmband: false,
  dataDir: '',
  version: '',
  // Whether W&B.txt exists and the evaluation's state ('none', 'pending',
  // 'ready'), when /api/status tells; null when it does not.
  model: null,
  evaluation: null,
};

const handlers = new Set();
let syncTimer = null;

// handler(server, changedKeys: Set)
export function onServerChange(handler) { handlers.add(handler); }

function update(changes) {
  const changed = new Set();
  for (const [key, value] of Object.entries(changes)) {
    if (JSON.stringify(server[key]) === JSON.stringify(value)) continue;
    server[key] = value;
    changed.add(key);
  }
  if (changed.size === 0) return;
  for (const handler of handlers) handler(server, changed);
}

export async function syncNow() {
  clearTimeout(syncTimer);
  syncTimer = null;
  let status;
  try {
    status = await getStatus();
  } catch {
    return;
  }
  if (!status) return;
  let armbandState = status.armband?.state ?? 'none';
  // The server forgets an armband when it disconnects.
  if (armbandState === 'none' && server.armband.state === 'disconnected') armbandState = 'disconnected';
  update({
    mode: status.mode,
    recordGesture: status.mode === 'recording' ? status.recordGesture : null,
    armband: {
      state: armbandState,
      firmware: status.armband?.firmware || server.armband.firmware,
      hardware: status.armband?.hardware || server.armband.hardware,
    },
    channelMask: status.channelMask,
    gestureMask: status.gestureMask,
    virtualArmband: Boolean(status.virtualArmband),
    dataDir: status.dataDir ?? '',
    version: status.version ?? '',
    model: typeof status.model === 'boolean' ? status.model : null,
    evaluation: typeof status.evaluation === 'string' ? status.evaluation : null,
  });
}

// Re-reads /api/status shortly, once for a burst of requests.
export function syncSoon(delayMs = SYNC_DELAY_MS) {
  if (syncTimer === null) syncTimer = setTimeout(syncNow, delayMs);
}

const setArmband = (changes) => update({ armband: { ...server.armband, ...changes } });

function setMode(mode) {
  if (server.mode === mode) return;
  update({ mode, recordGesture: mode === 'recording' ? server.recordGesture : null });
  syncSoon();
}

// Marks a recording of `gesture` as started by this page (the server has no
// other way to tell which gesture a recording is for but /api/status).
export const noteRecordStart = (gesture) => update({ recordGesture: gesture });

export function applyMessage(data) {
  const [code, value] = data;
  switch (code) {
    case Msg.PREVIEW:
      setMode('recording');
      return;
    case Msg.SCAN:
      if (value === Status.OK && server.armband.state !== 'connected') setArmband({ state: 'found' });
      return;
    case Msg.CONNECT:
      if (value === Status.OK) setArmband({ state: 'connected' });
      syncSoon();
      return;
    case Msg.DISCONNECT:
      if (value === Status.OK) {
        setArmband({ state: 'disconnected' });
        update({ channelMask: 0, gestureMask: 0 });
        setMode('idle');
      }
      syncSoon();
      return;
    case Msg.CONFIG:
      syncSoon();
      return;
    case Msg.RECORD:
      if (value === Status.OK || value === Status.STOPPED) setMode('idle');
      syncSoon();
      return;
    case Msg.IDENTIFY:
      if (value === Status.STOPPED) setMode('idle');
      else if (value >= 1 && value <= 8) setMode('identifying');
      else syncSoon();
      return;
    case Msg.GESTURE:
      if (value === Status.STOPPED) setMode('idle');
      else if (value === Status.BUSY) syncSoon();
      else setMode('gesture-stream');
      return;
    case Msg.VERSION: {
      const { firmware, hardware } = decodeVersion(data);
      setArmband({ firmware, hardware });
      return;
    }
    default:
  }
}
