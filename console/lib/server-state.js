// What the page knows of the server's state. The server is the only source:
// /api/status (with /api/recordings and /api/model) is read at load, on every
// (re)connection and shortly after every message that changes the state; in
// between, messages only move the state where the server certainly went
// (a DISCONNECTED, an IDENTIFY_RESULT). Nothing of an earlier server survives
// a reconnection, and while offline the page claims no mode at all.
import { getStatus, getRecordings, getModel } from './api.js';
import { Msg, Status, decodeVersion, RECORD_SECONDS } from './protocol.js';

const SYNC_DELAY_MS = 150;
// Commands of another client that get no reply (RECORD_START, GESTURE_STREAM_START)
// change the state silently: previews outside a known recording ask for a sync
// at most this often, and the state is read again this often anyway.
const PREVIEW_SYNC_MS = 1000;
const POLL_MS = 3000;
let lastPreviewSync = 0;

const fresh = () => ({
  link: false,
  mode: 'unknown',          // idle | recording | identifying | gesture-stream | unknown (offline)
  // The running recording: gesture and the performance.now() at which the
  // server's timer ends, from the server's remaining time; null when none.
  recording: null,
  armband: { state: 'none', firmware: '', hardware: '' },
  channelMask: 0,
  gestureMask: 0,
  lastChannels: null,       // channel count of the last configuration, kept across a disconnection
  upload: { state: 'none', progress: 0 },
  virtualArmband: false,
  pad: null,                // { gesture } when the virtual armband can be steered from the page
  dataDir: '',
  version: '',
  model: null,              // /api/model's answer, null when there is no W&B.txt
  evaluation: 'none',       // none | pending | done | failed
  recordings: [],           // /api/recordings' list
});

export const server = fresh();

const handlers = new Set();
let syncTimer = null;
let syncRun = 0;

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

const orNull = async (read) => {
  try {
    return await read();
  } catch {
    return null;
  }
};

function recordingOf(status) {
  if (status.mode !== 'recording') return null;
  const running = status.recording;
  if (running) return { gesture: running.gesture, endsAt: performance.now() + Math.max(running.remainingMs ?? 0, 0) };
  // A server that does not tell the remaining time: counted from when this page first saw it.
  if (server.recording?.gesture === status.recordGesture) return server.recording;
  return { gesture: status.recordGesture, endsAt: performance.now() + RECORD_SECONDS * 1000 };
}

export async function syncNow() {
  clearTimeout(syncTimer);
  syncTimer = null;
  const run = ++syncRun;
  const status = await orNull(getStatus);
  if (!status || run !== syncRun) return;
  const [listing, model] = await Promise.all([
    orNull(getRecordings),
    status.model ? orNull(getModel) : null,
  ]);
  if (run !== syncRun) return;
  const versions = status.armband?.versions ?? {};
  update({
    mode: status.mode,
    recording: recordingOf(status),
    armband: {
      state: status.armband?.state ?? 'none',
      firmware: versions.firmware ?? server.armband.firmware,
      hardware: versions.hardware ?? server.armband.hardware,
    },
    channelMask: status.channelMask,
    gestureMask: status.gestureMask,
    lastChannels: status.lastChannels ?? null,
    upload: status.upload ?? server.upload,
    virtualArmband: Boolean(status.virtualArmband),
    pad: status.pad ?? null,
    dataDir: status.dataDir ?? '',
    version: status.version ?? '',
    model: model ?? null,
    evaluation: typeof status.evaluation === 'string' ? status.evaluation : 'none',
    recordings: listing?.recordings ?? [],
  });
}

// Re-reads the server's state shortly, once for a burst of requests.
export function syncSoon(delayMs = SYNC_DELAY_MS) {
  if (syncTimer === null) syncTimer = setTimeout(syncNow, delayMs);
}

setInterval(() => { if (server.link && !document.hidden) syncSoon(0); }, POLL_MS);

// A new connection may reach another server: forget all of the old one.
export function setLink(connected) {
  if (connected) {
    update({ link: true });
    syncNow();
  } else {
    syncRun++;
    update({ ...fresh(), armband: { state: 'unknown', firmware: '', hardware: '' } });
  }
}

const setArmband = (changes) => update({ armband: { ...server.armband, ...changes } });

export function applyMessage(data) {
  const [code, value] = data;
  switch (code) {
    case Msg.DISCONNECT:
      if (value === Status.OK) {
        setArmband({ state: 'disconnected' });
        update({ channelMask: 0, gestureMask: 0, mode: 'idle', recording: null });
      }
      syncSoon();
      return;
    case Msg.IDENTIFY:
      if (value === Status.STOPPED) update({ mode: 'idle' });
      else if (value >= 1 && value <= 8) update({ mode: 'identifying' });
      else syncSoon();
      return;
    case Msg.VERSION: {
      const { firmware, hardware } = decodeVersion(data);
      setArmband({ firmware, hardware });
      return;
    }
    case Msg.PREVIEW:
      // Previews come also while idle, to a watching console: by themselves they
      // say nothing of the mode, but a recording may have started.
      if (server.mode !== 'recording' && performance.now() - lastPreviewSync > PREVIEW_SYNC_MS) {
        lastPreviewSync = performance.now();
        syncSoon();
      }
      return;
    case Msg.UPDATE_PROGRESS:
      update({ upload: { state: value >= 100 ? 'done' : 'running', progress: value } });
      return;
    case Msg.UPDATE:
      if (value === Status.OK) update({ upload: { state: 'done', progress: 100 } });
      else if (value === Status.DEVICE_FAILED) update({ upload: { ...server.upload, state: 'failed' } });
      syncSoon();
      return;
    case Msg.PING:
      return;
    default:
      syncSoon();
  }
}
