// Status bytes in words, with what to do next. Each reply code has its own
// reading of a status byte (docs/protocol.md §3–§5).
import { Msg, Status, statusName } from './protocol.js';

const CONNECT_FIRST = 'Scan and connect the armband first.';

const WORDS = {
  [Msg.SCAN]: {
    [Status.OK]: ['ok', 'Armband found.', 'Press Connect.'],
    [Status.FAIL]: ['error', 'The scan could not start.', 'Check that the hub is attached, then scan again.'],
  },
  [Msg.CONNECT]: {
    [Status.OK]: ['ok', 'Armband connected.', 'Choose channels and gestures, then press Configure.'],
    [Status.FAIL]: ['error', 'Connect was refused.', 'Scan first; if it is already connected or connecting, wait or disconnect.'],
  },
  [Msg.DISCONNECT]: {
    [Status.OK]: ['warn', 'Armband disconnected.', 'Scan and connect again, then configure.'],
    [Status.FAIL]: ['error', 'Disconnect was refused.', 'The armband is not connected.'],
  },
  [Msg.CONFIG]: {
    [Status.OK]: ['ok', 'Stream configured.', 'Record each gesture, or start identification.'],
    [Status.FAIL]: ['error', 'The configuration message was malformed.', 'Press Configure again.'],
    [Status.DEVICE_FAILED]: ['error', 'The armband refused the configuration.', 'Reconnect the armband and configure again.'],
    [Status.NO_CONFIG]: ['error', 'The armband offers no configuration.', 'Disconnect, reconnect and configure again.'],
    [Status.NO_DEVICE]: ['error', 'No armband is held.', CONNECT_FIRST],
  },
  [Msg.RECORD]: {
    [Status.OK]: ['ok', 'Recording saved.', 'Record the next gesture, or train the model.'],
    [Status.FAIL]: ['error', 'Recording refused or not saved.', 'Stop what is running (identification, gesture stream) and check the data folder, then record again.'],
    [Status.STOPPED]: ['warn', 'Recording discarded; nothing was saved.', 'Record again when ready.'],
  },
  [Msg.IDENTIFY]: {
    [Status.FAIL]: ['warn', 'No gesture, or identification refused.', 'If nothing changes: train a model and make sure the server is idle.'],
    [Status.STOPPED]: ['info', 'Identification stopped.', 'Start it again at any time.'],
  },
  [Msg.GENERATE]: {
    [Status.OK]: ['ok', 'Model generated.', 'Upload it to the armband, or start identification.'],
    [Status.FAIL]: ['error', 'Training failed.', 'Select at least two gestures and channels, and record every selected gesture.'],
    [Status.STOPPED]: ['info', 'Stop acknowledged.', 'A training that ran has already finished.'],
  },
  [Msg.UPDATE]: {
    [Status.OK]: ['ok', 'Model uploaded to the armband.', 'Start the armband gesture stream to try it.'],
    [Status.FAIL]: ['error', 'W&B.txt is unreadable or does not match the configuration.', 'Configure the same channels and gestures as at training, or train again.'],
    [Status.STOPPED]: ['info', 'Stop acknowledged.', 'A running transfer still continues to its end.'],
    [Status.DEVICE_FAILED]: ['error', 'The armband reported an upload failure.', 'Upload again.'],
    [Status.NO_CONFIG]: ['error', 'The armband offers no configuration.', 'Reconnect the armband, then upload again.'],
    [Status.NO_DEVICE]: ['error', 'No armband is held.', CONNECT_FIRST],
    [Status.LENGTH_ERROR]: ['error', 'The upload message was malformed.', 'Press Upload again.'],
    [Status.FILE_ERROR]: ['error', 'W&B.txt or model.bin could not be opened.', 'Train the model first; check the data folder.'],
  },
  [Msg.GESTURE]: {
    [Status.STOPPED]: ['info', 'Gesture stream stopped.', 'Start it again at any time.'],
    [Status.BUSY]: ['warn', 'The server is busy with another mode.', 'Stop recording or identification first.'],
  },
};

// { tone: 'ok'|'info'|'warn'|'error', text, next } for a reply.
export function describeStatus(code, status) {
  const entry = WORDS[code]?.[status];
  if (entry) return { tone: entry[0], text: entry[1], next: entry[2] };
  return { tone: 'warn', text: `Unexpected status ${statusName(status)}.`, next: '' };
}
