// Small DOM helpers.
export const $ = (selector, root = document) => root.querySelector(selector);
export const $$ = (selector, root = document) => Array.from(root.querySelectorAll(selector));

// el('li', { class: 'x', 'data-n': 3 }, 'text', child)
export function el(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value === false || value == null) continue;
    node.setAttribute(name, value === true ? '' : value);
  }
  node.append(...children);
  return node;
}

// Shows a result line: sets the text and a tone class (ok, info, warn, error).
export function setTone(node, tone, text) {
  node.textContent = text;
  node.dataset.tone = tone;
}

// "7 Dec, 05:10:00"-like local time of an ISO date.
export const shortDate = (iso) =>
  new Date(iso).toLocaleString([], { day: 'numeric', month: 'short', hour: '2-digit', minute: '2-digit', second: '2-digit', hour12: false });
