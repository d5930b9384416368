// Model: train (MODEL_GENERATE), upload to the armband (MODEL_UPDATE) with
// its progress, the summary of W&B.txt and the held-out evaluation.
import { $, el, setTone, shortDate } from '../lib/dom.js';
import { send, onMessage, onConnectionChange } from '../lib/connection.js';
import { Msg, Status, encode } from '../lib/protocol.js';
import { describeStatus } from '../lib/words.js';
import { getModel } from '../lib/api.js';
import { server, onServerChange } from '../lib/server-state.js';
import { initEvaluation, refreshEvaluation } from './evaluation.js';

let trainingSince = null;
let trainTimer = null;

function setTraining(busy) {
  trainingSince = busy ? performance.now() : null;
  $('#train').disabled = busy;
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
  setTraining(false);
  if (value === Status.OK) {
    setTone($('#train-result'), 'ok', 'generated');
    // The server writes W&B.txt and starts the evaluation before it replies.
    refreshModel();
    refreshEvaluation();
  } else {
    const { text, next } = describeStatus(Msg.GENERATE, value);
    setTone($('#train-result'), 'error', `failed: ${text} ${next}`);
  }
}

function setUploadProgress(percent) {
  $('#upload-progress').value = percent;
  $('#upload-percent').textContent = `${percent} %`;
}

function handleUpdate(value) {
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

// At load the model and the evaluation are read only when /api/status says
// they exist: a 404 shows up in the browser's console as an error.
const evaluationServed = () => server.evaluation !== null && server.evaluation !== 'none';

async function refreshModel() {
  let model;
  try {
    model = await getModel();
  } catch (error) {
    $('#model-summary').textContent = `Could not read the model: ${error.message}`;
    return;
  }
  if (!model) {
    $('#model-summary').replaceChildren(el('p', { class: 'hint' }, 'No model yet: record at least two gestures, then Train.'));
    return;
  }
  const fact = (term, value) => el('div', {}, el('dt', {}, term), el('dd', { class: 'num' }, `${value}`));
  $('#model-summary').replaceChildren(el('dl', { class: 'facts facts-4' },
    fact('File', model.file),
    fact('Gestures', model.gestures),
    fact('Channels', model.channels),
    fact('Classifiers', model.rows),
    fact('Written', model.modified ? shortDate(model.modified) : '–')));
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
    else if (data[0] === Msg.UPDATE) handleUpdate(data[1]);
    else if (data[0] === Msg.UPDATE_PROGRESS) {
      setUploadProgress(data[1]);
      if (data[1] < 100) setTone($('#upload-result'), 'info', 'uploading…');
    }
  });
  onConnectionChange((connected) => {
    if (connected) return;
    if (trainingSince !== null) setTone($('#train-result'), 'warn', 'connection lost during training; the result is unknown');
    setTraining(false);
  });
  onServerChange((state, changed) => {
    if (changed.has('model') && state.model) refreshModel();
    if (changed.has('evaluation') && evaluationServed()) refreshEvaluation();
  });
}
