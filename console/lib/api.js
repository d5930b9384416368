// The server's read-only JSON API. Each call resolves to the parsed body, or
// to null when the resource does not exist (404); other failures throw.
async function getJson(path) {
  const response = await fetch(path, { cache: 'no-store' });
  if (response.status === 404) return null;
  const body = await response.json().catch(() => null);
  if (!response.ok) throw new Error(body?.error ?? `${path}: HTTP ${response.status}`);
  return body;
}

export const getStatus = () => getJson('/api/status');
export const getRecordings = () => getJson('/api/recordings');
export const getModel = () => getJson('/api/model');
export const getEvaluation = () => getJson('/api/evaluation');
export const recordingCsvUrl = (gesture) => `/api/recordings/${gesture}.csv`;
