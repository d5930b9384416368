// Armband gestures: the armband's own gesture stream (GESTURE_STREAM_START
// and _STOP) and the gestures it reports, by name.
import { $, el, setTone } from '../lib/dom.js';
import { send, onMessage, isOwnReply } from '../lib/connection.js';
import { Msg, Status, encode, armbandGestureName } from '../lib/protocol.js';
import { describeStatus } from '../lib/words.js';

const HISTORY_LENGTH = 8;

function showGesture(value) {
  setTone($('#armband-gesture'), value === 0 ? 'info' : 'ok', armbandGestureName(value));
  const history = $('#armband-gesture-history');
  history.prepend(el('li', {}, el('span', { class: 'muted num' }, new Date().toLocaleTimeString()), ` ${armbandGestureName(value)}`));
  while (history.children.length > HISTORY_LENGTH) history.lastChild.remove();
}

function handleGesture(value, own) {
  if (value === Status.BUSY && !own) return;  // another page's refusal
  if (value === Status.STOPPED || value === Status.BUSY) {
    const { tone, text, next } = describeStatus(Msg.GESTURE, value);
    setTone($('#armband-gesture'), tone, value === Status.STOPPED ? 'stopped' : 'busy');
    $('#gesture-stream-hint').textContent = `${text} ${next}`;
    return;
  }
  $('#gesture-stream-hint').textContent = '';
  showGesture(value);
}

export function initGestures() {
  $('#gesture-stream-start').addEventListener('click', () => send(encode.gestureStreamStart()));
  $('#gesture-stream-stop').addEventListener('click', () => send(encode.gestureStreamStop()));
  onMessage((data) => { if (data[0] === Msg.GESTURE && data.length >= 2) handleGesture(data[1], isOwnReply(data)); });
}
