// Model: train (MODEL_GENERATE), upload to the armband (MODEL_UPDATE) with
// its progress, the summary of W&B.txt and the held-out evaluation.
import { $, el, setTone, shortDate } from '../lib/dom.js';
import { send, onMessage, onConnectionChange, isOwnReply } from '../lib/connection.js';
import { Msg, Status, encode } from '../lib/protocol.js';
import { describeStatus } from '../lib/words.js';
import { onServerChange } from '../lib/server-state.js';
import { facts, setBusy } from '../lib/controls.js';
import { initEvaluation, refreshEvaluation, clearEvaluation } from './evaluation.js';

let trainingSince = null;
let trainTimer = null;

function setTraining(busy) {
  trainingSince = busy ? performance.now() : null;
  setBusy('train', busy);
  $('#train-busy').hidden = !busy;
  clearInterval(trainTimer);
  if (busy) {
    const showElapsed = () => setTone($('#train-result'), 'info',
      `training… ${Math.floor((performance.now() - trainingSince) / 1000)} s`);
    showElapsed();
    trainTimer = setInterval(showElapsed, 1000);
  }
}

function handleGenerate(value) {
  if (value === Status.STOPPED) return;
  const mine = trainingSince !== null;
  setTraining(false);
  if (!mine && value !== Status.OK) return;  // another page's refusal
  if (value === Status.OK) {
    setTone($('#train-result'), 'ok', 'generated');
  } else {
    const { text, next } = describeStatus(Msg.GENERATE, value);
    setTone($('#train-result'), 'error', `failed: ${text} ${next}`);
  }
}

function setUploadProgress(percent) {
  $('#upload-progress').value = percent;
  $('#upload-percent').textContent = `${percent} %`;
}

// Results of a transfer are everybody's; a refusal only the sending page's.
const TRANSFER_RESULTS = [Status.OK, Status.DEVICE_FAILED, Status.NO_CONFIG, Status.NO_DEVICE];

function handleUpdate(value, own) {
  if (!own && !TRANSFER_RESULTS.includes(value)) return;
  const { tone, text, next } = describeStatus(Msg.UPDATE, value);
  if (value === Status.OK) {
    setUploadProgress(100);
    setTone($('#upload-result'), 'ok', 'uploaded: the armband holds the new model');
  } else if (value === Status.STOPPED) {
    setTone($('#upload-result'), tone, `${text} ${next}`);
  } else {
    setTone($('#upload-result'), 'error', `failed: ${text} ${next}`);
  }
}

function showModel(model, stale) {
  $('#model-stale').hidden = !(model && stale);
  if (!model) {
    $('#model-summary').replaceChildren(el('p', { class: 'hint' }, 'No model yet: record every selected gesture (at least two), then Train.'));
    return;
  }
  const fact = (term, value) => el('div', {}, el('dt', {}, term), el('dd', { class: 'num' }, `${value}`));
  $('#model-summary').replaceChildren(el('h3', {}, `Model (${model.file})`), el('dl', { class: 'facts facts-4' },
    fact('Gestures', model.gestures),
    fact('Channels', model.channels),
    fact('Classifiers', model.rows),
    fact('Written', model.modified ? shortDate(model.modified) : '–')));
}

function showUpload(upload) {
  setUploadProgress(upload.progress);
  if (upload.state === 'running') setTone($('#upload-result'), 'info', 'uploading…');
  else if (upload.state === 'done') setTone($('#upload-result'), 'ok', 'uploaded: the armband holds this model');
  else if (upload.state === 'failed') setTone($('#upload-result'), 'error', 'the last upload failed');
  else setTone($('#upload-result'), 'info', '');
}

export function initModel() {
  initEvaluation();
  $('#train').addEventListener('click', () => {
    if (send(encode.generate())) setTraining(true);
  });
  $('#upload').addEventListener('click', () => {
    if (!send(encode.update())) return;
    setUploadProgress(0);
    setTone($('#upload-result'), 'info', 'uploading…');
  });
  $('#upload-stop').addEventListener('click', () => send(encode.updateStop()));
  onMessage((data) => {
    if (data.length < 2) return;
    if (data[0] === Msg.GENERATE) handleGenerate(data[1]);
    else if (data[0] === Msg.UPDATE) handleUpdate(data[1], isOwnReply(data));
    else if (data[0] === Msg.UPDATE_PROGRESS) setUploadProgress(data[1]);
  });
  onConnectionChange((connected) => {
    if (connected) return;
    // A result word belongs to the connection that answered it: it does not outlive it.
    if (trainingSince !== null) setTone($('#train-result'), 'warn', 'connection lost during training; the result is unknown');
    else setTone($('#train-result'), 'info', '');
    setTraining(false);
  });
  onServerChange((state, changed) => {
    if (changed.has('model') || changed.has('recordings')) showModel(state.model, facts(state).modelStale);
    if (changed.has('upload')) showUpload(state.upload);
    // Read only when the server has one: a 404 shows in the browser's console as an error.
    if (changed.has('evaluation') || changed.has('model')) {
      if (state.evaluation === 'none' || !state.model) clearEvaluation();
      else refreshEvaluation();
    }
  });
}
