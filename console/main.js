// Starts the console: the views, the server state, the controls, and the connection.
import './lib/stats.js';
import { $, setTone } from './lib/dom.js';
import { connect, onMessage, onConnectionChange } from './lib/connection.js';
import { applyMessage, onServerChange, setLink } from './lib/server-state.js';
import { initControls } from './lib/controls.js';
import { initArmband } from './views/armband.js';
import { initSignal } from './views/signal.js';
import { initRecording } from './views/recording.js';
import { initModel } from './views/model.js';
import { initIdentify } from './views/identify.js';
import { initGestures } from './views/gestures.js';
import { initPad } from './views/pad.js';
import { initLog } from './views/log.js';

const MODE_WORDS = {
  idle: ['Idle', 'info'],
  recording: ['Recording', 'warn'],
  identifying: ['Identifying', 'ok'],
  'gesture-stream': ['Gesture stream', 'ok'],
  unknown: ['–', 'info'],
};

initLog();
initArmband();
initSignal();
initRecording();
initModel();
initIdentify();
initGestures();
initPad();
initControls();
// After the views, so that they still see the state a message changes.
onMessage(applyMessage);

onServerChange((state, changed) => {
  if (changed.has('mode')) {
    const [words, tone] = MODE_WORDS[state.mode] ?? [state.mode, 'info'];
    setTone($('#mode'), tone, words);
  }
  if (changed.has('version')) $('#server-version').textContent = state.version ? `emgbridge ${state.version}` : '';
});

onConnectionChange((connected) => {
  $('#banner').hidden = connected;
  document.body.dataset.link = connected ? 'up' : 'down';
  setTone($('#link-state'), connected ? 'ok' : 'error', connected ? 'Online' : 'Offline');
  setLink(connected);
});

connect();
