'use strict';
// A minimal WebSocket peer on the npm package `ws`: the reference that the
// end-to-end benchmark (bench/e2e_bench.cpp) runs the same workload against.
//
// It does only what the benchmark exercises, with the same bytes on the wire:
//   [0x01]            -> [0x01, 0x00] to every client (PING)
//   [0x02, x]         -> [0x02, 0x00]  (scan: an armband is "found" at once)
//   [0x03]            -> [0x03, 0x00]  (connect, at once)
//   [0x05, ch, g]     -> [0x05, 0x00]  (stream configured)
//   [0x06, N]         -> 33-byte previews [0x07, frames 0, 4, 8, 12 of a 128-byte
//                        packet] to every client, paced like the armband (packet k
//                        due at start + k * 16/650 s), for 30 s at most
//   [0x07]            -> stops the previews, [0x06, 0xFD]
//   [0xFF]            -> the process ends
// Every message goes to every client, in the order in which they connected.
//
// Usage: node server.js [PORT]   (default 8888; listens on 127.0.0.1 only)
// Prints "node peer listening on PORT" once it accepts connections.

const { WebSocketServer } = require('ws');

const port = Number(process.argv[2] || process.env.PORT || 8888);
const FRAMES_PER_PACKET = 16;
const FRAME_RATE = 650;
const CHANNELS = 8;
const PACKET_MS = (FRAMES_PER_PACKET * 1000) / FRAME_RATE;
const RECORD_LIMIT_MS = 30000;

const server = new WebSocketServer({
  host: '127.0.0.1',
  port,
  perMessageDeflate: false,
  maxPayload: 16 * 1024 * 1024,
});

function broadcast(bytes) {
  for (const client of server.clients) {
    if (client.readyState === 1) client.send(bytes, { binary: true });
  }
}

// A packet of 16 frames x 8 channels resting around 123, as the virtual armband sends.
let seed = 1;
function nextPacket() {
  const packet = Buffer.allocUnsafe(FRAMES_PER_PACKET * CHANNELS);
  for (let i = 0; i < packet.length; ++i) {
    seed = (seed * 1103515245 + 12345) >>> 0;
    packet[i] = 121 + ((seed >>> 16) % 5);
  }
  return packet;
}

function preview(packet) {
  const n = Math.floor(packet.length / 16);
  const out = Buffer.allocUnsafe(1 + 4 * n);
  out[0] = 0x07;
  for (let k = 0; k < 4; ++k) packet.copy(out, 1 + k * n, 4 * k * n, 4 * k * n + n);
  return out;
}

let stream = null; // { start, index, timer }

function stopStream() {
  if (!stream) return false;
  clearTimeout(stream.timer);
  stream = null;
  return true;
}

function scheduleNext() {
  if (!stream) return;
  const due = stream.start + (stream.index + 1) * PACKET_MS;
  const delay = Math.max(0, due - performance.now());
  stream.timer = setTimeout(() => {
    if (!stream) return;
    stream.index += 1;
    broadcast(preview(nextPacket()));
    if ((stream.index + 1) * PACKET_MS > RECORD_LIMIT_MS) {
      stopStream();
      broadcast(Buffer.from([0x06, 0x00]));
      return;
    }
    scheduleNext();
  }, delay);
}

function startStream() {
  stopStream();
  stream = { start: performance.now(), index: 0, timer: null };
  scheduleNext();
}

server.on('connection', (socket) => {
  socket.on('message', (data) => {
    const bytes = Buffer.isBuffer(data) ? data : Buffer.concat(data);
    if (bytes.length === 0) return;
    const length = bytes.length % 256;
    switch (bytes[0]) {
      case 0x01: broadcast(Buffer.from([0x01, length === 1 ? 0x00 : 0xff])); break;
      case 0x02: broadcast(Buffer.from([0x02, 0x00])); break;
      case 0x03: broadcast(Buffer.from([0x03, 0x00])); break;
      case 0x05: broadcast(Buffer.from([0x05, 0x00])); break;
      case 0x06: startStream(); break;
      case 0x07: broadcast(Buffer.from([0x06, stopStream() ? 0xfd : 0xff])); break;
      case 0xff: process.exit(0); break;
      default: break;
    }
  });
});

server.on('listening', () => {
  process.stdout.write(`node peer listening on ${port}\n`);
});
server.on('error', (error) => {
  process.stderr.write(`node peer: ${error.message}\n`);
  process.exit(1);
});
for (const signal of ['SIGINT', 'SIGTERM']) process.on(signal, () => process.exit(0));
