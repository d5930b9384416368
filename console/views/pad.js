// The virtual armband's pad: buttons that make its subject hold gesture 1–8
// or rest, with the held one highlighted. Shown only when the server runs on
// the virtual armband (the endpoint does not exist with a real SDK).
import { $, el, setTone } from '../lib/dom.js';
import { holdGesture } from '../lib/api.js';
import { gestureName, onRename } from '../lib/names.js';
import { server, onServerChange, syncNow } from '../lib/server-state.js';

const REST = 0;

const label = (gesture) => (gesture === REST ? 'Rest' : gestureName(gesture));

function buildPad() {
  for (let gesture = REST; gesture <= 8; gesture++) {
    const button = el('button', {
      type: 'button', class: 'small pad-key', 'data-action': 'hold', 'data-gesture': gesture,
      'aria-pressed': 'false', disabled: true,
    }, label(gesture));
    button.addEventListener('click', () => hold(gesture));
    $('#pad-buttons').append(button);
  }
  $('#pad').append(el('p', { class: 'hint', id: 'pad-result', 'aria-live': 'polite' }));
}

async function hold(gesture) {
  const { error } = await holdGesture(gesture).catch((failure) => ({ error: failure.message }));
  if (error) setTone($('#pad-result'), 'error', `The virtual armband did not take it: ${error}`);
  else $('#pad-result').textContent = '';
  await syncNow();
}

function showHeld(pad) {
  for (const button of $('#pad-buttons').children) {
    const held = pad !== null && Number(button.dataset.gesture) === pad.gesture;
    button.setAttribute('aria-pressed', String(held));
  }
}

export function initPad() {
  buildPad();
  onServerChange((state, changed) => {
    if (changed.has('pad')) {
      $('#pad').hidden = state.pad === null;
      showHeld(state.pad);
    }
  });
  onRename(() => {
    for (const button of $('#pad-buttons').children) button.textContent = label(Number(button.dataset.gesture));
  });
  $('#pad').hidden = server.pad === null;
}
