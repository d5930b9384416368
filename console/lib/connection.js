// The page's one WebSocket to emgbridge: sends commands, hands every message
// to the subscribers, and reconnects by itself with back-off.
import { stats } from './stats.js';
import { Cmd } from './protocol.js';

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

// Every client receives every reply, so a refusal is shown only by the page
// that sent the command. A command that is silent when accepted is followed
// by a PING (docs/protocol.md §4): a refusal under the command's reply code
// before the PING's answer is this page's; the PING's answer means accepted.
const REPLY_CODE = {
  [Cmd.SCAN_START]: 0x02, [Cmd.CONNECT]: 0x03, [Cmd.DISCONNECT]: 0x04, [Cmd.RECORD_START]: 0x06,
  [Cmd.RECORD_STOP]: 0x06, [Cmd.IDENTIFY_START]: 0x08, [Cmd.IDENTIFY_STOP]: 0x08,
  [Cmd.MODEL_GENERATE]: 0x0a, [Cmd.MODEL_UPDATE]: 0x0c, [Cmd.MODEL_UPDATE_STOP]: 0x0c,
  [Cmd.GESTURE_STREAM_START]: 0x10, [Cmd.GESTURE_STREAM_STOP]: 0x10,
};
const PING_REPLY = 0x01;
const awaiting = new Map();   // reply code → command code, while this page waits for it
let ownReply = null;          // the message being handed out, when it answers this page

// True while handlers run for a message that answers a command of this page.
export const isOwnReply = (data) => data === ownReply;

function noteSent(code) {
  const replyCode = REPLY_CODE[code];
  if (replyCode === undefined) return;
  awaiting.set(replyCode, code);
  if (code !== Cmd.MODEL_GENERATE) socket.send(Uint8Array.of(Cmd.PING));
}

function noteReceived(data) {
  if (data[0] === PING_REPLY) {
    // MODEL_GENERATE answers always, also after the PING that another page sent meanwhile.
    for (const [replyCode, code] of awaiting) if (code !== Cmd.MODEL_GENERATE) awaiting.delete(replyCode);
    return false;
  }
  return awaiting.delete(data[0]);
}

export function send(data) {
  if (!isConnected()) return false;
  socket.send(data);
  noteSent(data[0]);
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
    ownReply = noteReceived(data) ? data : null;
    for (const handler of messageHandlers) handler(data);
    ownReply = null;
  };
  ws.onclose = () => {
    if (socket !== ws) return;
    awaiting.clear();
    socket = null;
    setConnected(false);
    setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, MAX_RETRY_MS);
  };
  socket = ws;
}
