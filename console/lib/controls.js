// Which command can work now, and which one step comes next. Every button
// that sends carries data-action (and data-gesture for a gesture's own
// buttons); it is enabled only when its command can work in the server's
// present state, and the one button of the next step is the primary one:
// Scan → Connect → Configure → Record … → Train → Upload → Identify.
import { $$ } from './dom.js';
import { bitCount, maskMembers } from './protocol.js';
import { server, onServerChange } from './server-state.js';

// Actions this page has under way and the server does not report (a training
// blocks the server until it replies).
const busy = new Set();

export function setBusy(action, on) {
  if (on) busy.add(action);
  else busy.delete(action);
  applyControls();
}

const hasBit = (mask, n) => Boolean(mask & (1 << (n - 1)));

export function facts(s = server) {
  const connected = s.armband.state === 'connected';
  const configured = connected && s.channelMask !== 0;
  const selected = maskMembers(s.gestureMask);
  const recordingOf = (n) => s.recordings.find((r) => r.gesture === n && r.bytes > 0);
  const allRecorded = selected.length >= 2 && selected.every((n) => recordingOf(n));
  const model = s.model;
  const modelFits = Boolean(model) && configured && model.channels === bitCount(s.channelMask)
    && model.gestures === selected.length;
  // A recording written after W&B.txt: the model no longer shows the recordings.
  const modelStale = Boolean(model?.modified) && s.recordings.some((r) => r.modified > model.modified);
  return { connected, configured, selected, recordingOf, allRecorded, modelFits, modelStale };
}

export function canWork(action, gesture, s = server) {
  if (!s.link) return false;
  const f = facts(s);
  const idle = s.mode === 'idle';
  const recordingThis = s.mode === 'recording' && s.recording?.gesture === gesture;
  switch (action) {
    case 'scan': return !['connected', 'connecting', 'disconnecting', 'unknown'].includes(s.armband.state);
    case 'connect': return s.armband.state === 'found';
    case 'disconnect': return f.connected;
    case 'configure': return f.connected && idle;
    case 'record': return f.configured && idle && hasBit(s.gestureMask, gesture);
    case 'record-again': return f.configured && idle && hasBit(s.gestureMask, gesture) && Boolean(f.recordingOf(gesture));
    case 'discard': return recordingThis;
    case 'delete': return Boolean(f.recordingOf(gesture)) && !recordingThis;
    case 'train': return idle && f.configured && f.allRecorded && !busy.has('train');
    case 'upload': return f.modelFits && s.upload.state !== 'running' && !busy.has('train');
    case 'upload-stop': return s.upload.state === 'running';
    case 'identify-start': return idle && f.modelFits && !busy.has('train');
    case 'identify-stop': return s.mode === 'identifying';
    case 'stream-start': return f.connected && idle;
    case 'stream-stop': return s.mode === 'gesture-stream';
    case 'hold': return s.virtualArmband && s.pad !== null;
    default: return false;
  }
}

// [action, gesture] of the next step, or null when none (offline, or a recording running).
export function nextStep(s = server) {
  if (!s.link || (s.mode !== 'idle' && s.mode !== 'identifying')) return null;
  const f = facts(s);
  if (s.armband.state === 'found') return ['connect'];
  if (!f.connected) return s.armband.state === 'connecting' ? null : ['scan'];
  if (!f.configured) return ['configure'];
  if (s.mode === 'identifying') return null;
  const missing = f.selected.find((n) => !f.recordingOf(n));
  if (missing) return ['record', missing];
  if (!s.model || f.modelStale || !f.modelFits) return f.allRecorded ? ['train'] : null;
  if (s.upload.state !== 'done') return ['upload'];
  return ['identify-start'];
}

export function applyControls() {
  const next = nextStep();
  for (const button of $$('button[data-action]')) {
    const { action } = button.dataset;
    const gesture = button.dataset.gesture ? Number(button.dataset.gesture) : undefined;
    button.disabled = !canWork(action, gesture);
    const primary = next !== null && next[0] === action && (next[1] === undefined || next[1] === gesture);
    button.classList.toggle('primary', primary);
  }
}

export function initControls() {
  onServerChange(applyControls);
  applyControls();
}
