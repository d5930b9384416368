// Names of the server's gestures 1..8: "Gesture N" unless renamed; renames
// are kept in the browser's localStorage.
const STORAGE_KEY = 'emgbridge.gestureNames';
const handlers = new Set();

function load() {
  try {
    const stored = JSON.parse(localStorage.getItem(STORAGE_KEY) ?? '{}');
    return stored && typeof stored === 'object' ? stored : {};
  } catch {
    return {};
  }
}

const custom = load();

export const defaultName = (gesture) => `Gesture ${gesture}`;

export function gestureName(gesture) {
  const name = custom[gesture];
  return typeof name === 'string' && name.trim() ? name.trim() : defaultName(gesture);
}

export function renameGesture(gesture, name) {
  if (name.trim() && name.trim() !== defaultName(gesture)) custom[gesture] = name.trim();
  else delete custom[gesture];
  try {
    localStorage.setItem(STORAGE_KEY, JSON.stringify(custom));
  } catch {
    // Storage may be full or disabled; the name still holds for this page.
  }
  for (const handler of handlers) handler(gesture);
}

export function onRename(handler) { handlers.add(handler); }
