// The page's one WebSocket to emgbridge: sends commands, hands every message
// to the subscribers, and reconnects by itself with back-off.
import { stats } from './stats.js';

const FIRST_RETRY_MS = 500;
const MAX_RETRY_MS = 8000;

const messageHandlers = new Set();
const sentHandlers = new Set();
const stateHandlers = new Set();
let socket = null;
let retryMs = FIRST_RETRY_MS;
let announced = null;   // the link state the handlers were last told

const isConnected = () => socket?.readyState === WebSocket.OPEN;

export function onMessage(handler) { messageHandlers.add(handler); }
export function onSent(handler) { sentHandlers.add(handler); }
// handler(connected: boolean)
export function onConnectionChange(handler) { stateHandlers.add(handler); }

// When this page last sent each command code (performance.now()).
const lastSent = new Map();
// A refusal comes right after its command; only the page that sent the
// command shows it (every client receives every reply).
const REFUSAL_WINDOW_MS = 1500;
export const sentRecently = (code) => performance.now() - (lastSent.get(code) ?? -Infinity) < REFUSAL_WINDOW_MS;

export function send(data) {
  if (!isConnected()) return false;
  lastSent.set(data[0], performance.now());
  socket.send(data);
  stats.messagesOut++;
  for (const handler of sentHandlers) handler(data);
  return true;
}

function setConnected(connected) {
  stats.connected = connected;
  if (announced === connected) return;
  announced = connected;
  for (const handler of stateHandlers) handler(connected);
}

// The console connects as a watcher (docs/protocol.md §1.3): the server
// sends it the live signal also while idle.
const WATCH_PATH = '/watch';

export function connect() {
  const ws = new WebSocket(`ws://${location.host}${WATCH_PATH}`);
  ws.binaryType = 'arraybuffer';
  ws.onopen = () => {
    retryMs = FIRST_RETRY_MS;
    setConnected(true);
  };
  ws.onmessage = (event) => {
    if (!(event.data instanceof ArrayBuffer)) return;
    const data = new Uint8Array(event.data);
    stats.messagesIn++;
    for (const handler of messageHandlers) handler(data);
  };
  ws.onclose = () => {
    if (socket !== ws) return;
    socket = null;
    setConnected(false);
    setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, MAX_RETRY_MS);
  };
  socket = ws;
}
