// The emgbridge binary protocol (docs/protocol.md): command encoders, server
// message decoders and the words shown for codes and status bytes.

export const Cmd = Object.freeze({
  PING: 0x01,
  SCAN_START: 0x02,
  CONNECT: 0x03,
  DISCONNECT: 0x04,
  EMG_RAW_CONFIG: 0x05,
  RECORD_START: 0x06,
  RECORD_STOP: 0x07,
  IDENTIFY_START: 0x08,
  IDENTIFY_STOP: 0x09,
  MODEL_GENERATE: 0x0a,
  MODEL_GENERATE_STOP: 0x0b,
  MODEL_UPDATE: 0x0c,
  MODEL_UPDATE_STOP: 0x0d,
  GESTURE_STREAM_START: 0x10,
  GESTURE_STREAM_STOP: 0x11,
  GET_VERSION: 0x30,
});

// Server → client codes (the same byte means something else client → server).
export const Msg = Object.freeze({
  PING: 0x01,
  SCAN: 0x02,
  CONNECT: 0x03,
  DISCONNECT: 0x04,
  CONFIG: 0x05,
  RECORD: 0x06,
  PREVIEW: 0x07,
  IDENTIFY: 0x08,
  GENERATE: 0x0a,
  UPDATE: 0x0c,
  UPDATE_PROGRESS: 0x0d,
  GESTURE: 0x10,
  VERSION: 0x30,
});

export const Status = Object.freeze({
  OK: 0x00,
  FAIL: 0xff,
  STOPPED: 0xfd,
  BUSY: 0xfc,
  DEVICE_FAILED: 0xf0,
  NO_CONFIG: 0xf1,
  NO_DEVICE: 0xf2,
  LENGTH_ERROR: 0xef,
  FILE_ERROR: 0xee,
});

const STATUS_NAMES = {
  0x00: 'OK', 0xff: 'FAIL', 0xfd: 'STOPPED', 0xfc: 'BUSY', 0xf0: 'DEVICE_FAILED',
  0xf1: 'NO_CONFIG', 0xf2: 'NO_DEVICE', 0xef: 'LENGTH_ERROR', 0xee: 'FILE_ERROR',
};

const COMMAND_NAMES = {
  0x01: 'PING', 0x02: 'SCAN_START', 0x03: 'CONNECT', 0x04: 'DISCONNECT',
  0x05: 'EMG_RAW_CONFIG', 0x06: 'RECORD_START', 0x07: 'RECORD_STOP',
  0x08: 'IDENTIFY_START', 0x09: 'IDENTIFY_STOP', 0x0a: 'MODEL_GENERATE',
  0x0b: 'MODEL_GENERATE_STOP', 0x0c: 'MODEL_UPDATE', 0x0d: 'MODEL_UPDATE_STOP',
  0x10: 'GESTURE_STREAM_START', 0x11: 'GESTURE_STREAM_STOP', 0x30: 'GET_VERSION',
  0xff: 'EXIT',
};

const MESSAGE_NAMES = {
  0x01: 'PING reply', 0x02: 'SCAN_RESULT', 0x03: 'CONNECTED', 0x04: 'DISCONNECTED',
  0x05: 'EMG_RAW_CONFIG result', 0x06: 'RECORD_RESULT', 0x07: 'EMG preview',
  0x08: 'IDENTIFY_RESULT', 0x0a: 'MODEL_GENERATE reply', 0x0c: 'MODEL_UPDATE result',
  0x0d: 'MODEL_UPDATE_PROGRESS', 0x10: 'GESTURE_DATA', 0x30: 'GET_VERSION reply',
};

// Gestures the armband recognises by itself, as GESTURE_DATA reports them.
const ARMBAND_GESTURES = [
  'Relax', 'Fist', 'Spread', 'WaveIn', 'WaveOut', 'Pinch', 'Shoot',
  'UserDefine1', 'UserDefine2', 'UserDefine3', 'UserDefine4', 'UserDefine5',
  'UserDefine6', 'UserDefine7', 'UserDefine8', 'UserDefine9',
];

export const FRAMES_PER_SECOND = 650;
export const PREVIEW_FRAMES_PER_PACKET = 4;
export const RECORD_SECONDS = 30;

const bytes = (...values) => Uint8Array.from(values);

export const encode = {
  scan: () => bytes(Cmd.SCAN_START, 0),
  connect: () => bytes(Cmd.CONNECT),
  disconnect: () => bytes(Cmd.DISCONNECT),
  configure: (channelMask, gestureMask) => bytes(Cmd.EMG_RAW_CONFIG, channelMask & 0xff, gestureMask & 0xff),
  recordStart: (gesture) => bytes(Cmd.RECORD_START, gesture & 0xff),
  recordStop: () => bytes(Cmd.RECORD_STOP),
  identifyStart: () => bytes(Cmd.IDENTIFY_START),
  identifyStop: () => bytes(Cmd.IDENTIFY_STOP),
  generate: () => bytes(Cmd.MODEL_GENERATE),
  update: () => bytes(Cmd.MODEL_UPDATE),
  updateStop: () => bytes(Cmd.MODEL_UPDATE_STOP),
  gestureStreamStart: () => bytes(Cmd.GESTURE_STREAM_START),
  gestureStreamStop: () => bytes(Cmd.GESTURE_STREAM_STOP),
  version: () => bytes(Cmd.GET_VERSION),
};

export const bitCount = (mask) => {
  let n = 0;
  for (let m = mask & 0xff; m; m >>= 1) n += m & 1;
  return n;
};

// Numbers (1-based) of the bits set in a mask, ascending.
export const maskMembers = (mask) => {
  const members = [];
  for (let k = 0; k < 8; k++) if (mask & (1 << k)) members.push(k + 1);
  return members;
};

// An EMG preview holds frames 0, 4, 8 and 12 of a packet, each C bytes long.
// Returns the frame length C and the frames, or null when the message has no
// whole frame.
export function decodePreview(message) {
  const body = message.length - 1;
  const channels = Math.floor(body / PREVIEW_FRAMES_PER_PACKET);
  if (channels === 0) return null;
  const frameCount = Math.floor(body / channels);
  return { channels, frameCount, samples: message.subarray(1, 1 + frameCount * channels) };
}

// "000.005.012/<firmware>/<hardware>"; whatever follows the second '/' is
// the hardware text.
export function decodeVersion(message) {
  const text = String.fromCharCode(...message.subarray(1));
  const first = text.indexOf('/');
  if (first < 0) return { server: text, firmware: '', hardware: '' };
  const second = text.indexOf('/', first + 1);
  if (second < 0) return { server: text.slice(0, first), firmware: text.slice(first + 1), hardware: '' };
  return {
    server: text.slice(0, first),
    firmware: text.slice(first + 1, second),
    hardware: text.slice(second + 1),
  };
}

export const armbandGestureName = (g) => ARMBAND_GESTURES[g] ?? `Unknown gesture ${g}`;
export const statusName = (s) => STATUS_NAMES[s] ?? `0x${hex(s)}`;

const hex = (value) => value.toString(16).padStart(2, '0').toUpperCase();
export const hexBytes = (data) => Array.from(data, hex).join(' ');

// One-line name of a message for the log, e.g. "RECORD_RESULT OK".
export function describeMessage(direction, data) {
  if (data.length === 0) return '(empty)';
  const code = data[0];
  if (direction === 'out') return COMMAND_NAMES[code] ?? `unknown command 0x${hex(code)}`;
  const name = MESSAGE_NAMES[code] ?? `unknown message 0x${hex(code)}`;
  if (data.length < 2) return name;
  const value = data[1];
  switch (code) {
    case Msg.PREVIEW: {
      const preview = decodePreview(data);
      return preview ? `${name}, ${preview.channels} channels` : name;
    }
    case Msg.UPDATE_PROGRESS: return `${name} ${value} %`;
    case Msg.VERSION: return `${name} "${String.fromCharCode(...data.subarray(1))}"`;
    case Msg.IDENTIFY:
      if (value >= 1 && value <= 8) return `${name} gesture ${value}`;
      // 0xFF is "no gesture" (rest) while identifying; the log names a refusal itself.
      return `${name} ${value === Status.FAIL ? 'no gesture' : statusName(value)}`;
    case Msg.GESTURE:
      if (value === Status.STOPPED || value === Status.BUSY) return `${name} ${statusName(value)}`;
      return `${name} ${armbandGestureName(value)}`;
    default: return `${name} ${statusName(value)}`;
  }
}
