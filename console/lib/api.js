// The server's JSON API. Each read resolves to the parsed body, or to null
// when the resource does not exist (404); other failures throw.
async function getJson(path) {
  const response = await fetch(path, { cache: 'no-store' });
  if (response.status === 404) return null;
  const body = await response.json().catch(() => null);
  if (!response.ok) throw new Error(body?.error ?? `${path}: HTTP ${response.status}`);
  return body;
}

// A request without a body that changes something; resolves to the HTTP
// status, with the server's error text when it refused.
async function change(method, path) {
  const response = await fetch(path, { method, cache: 'no-store' });
  if (response.ok) return { status: response.status, error: '' };
  const body = await response.json().catch(() => null);
  return { status: response.status, error: body?.error ?? `HTTP ${response.status}` };
}

export const getStatus = () => getJson('/api/status');
export const getRecordings = () => getJson('/api/recordings');
export const getModel = () => getJson('/api/model');
export const getEvaluation = () => getJson('/api/evaluation');
export const recordingCsvUrl = (gesture) => `/api/recordings/${gesture}.csv`;
export const deleteRecording = (gesture) => change('DELETE', `/api/recordings/${gesture}`);
// The virtual armband's subject holds gesture 1..8, or rests (0).
export const holdGesture = (gesture) => change('POST', `/api/virtual/gesture/${gesture}`);
