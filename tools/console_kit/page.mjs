import { PORT, waitUntil } from './harness.mjs';

// Small steps on the console page, by the ids the page keeps for its tests.
export const text = (page, selector) =>
    page.$eval(selector, (element) => element.textContent.trim());

export async function click(page, selector) {
    await page.bringToFront();  // a page behind another one is not drawn, so it cannot be clicked
    await page.waitForSelector(selector, { visible: true, timeout: 5000 });
    // As a person would: a button the page has not enabled yet (its state still on its way) is waited for.
    await page.waitForFunction((sel) => !document.querySelector(sel)?.disabled, { timeout: 5000, polling: 50 }, selector);
    await page.click(selector);
}

// Waits until the element's text matches the pattern and returns that text.
export async function waitText(page, selector, pattern, timeoutMs = 5000) {
    try {
        await page.waitForFunction(
            (sel, source, flags) => new RegExp(source, flags).test(document.querySelector(sel)?.textContent ?? ''),
            { timeout: timeoutMs, polling: 50 }, selector, pattern.source, pattern.flags);
    } catch (error) {
        const shown = await page.$eval(selector, (e) => e.textContent.trim()).catch(() => '(no such element)');
        throw new Error(`${selector} shows "${shown}", not ${pattern} after ${timeoutMs} ms`);
    }
    return text(page, selector);
}

export async function setChecked(page, selector, on) {
    if ((await page.$eval(selector, (box) => box.checked)) !== on) await page.click(selector);
}

// Ticks exactly the checkboxes `${prefix}-N` whose bit N-1 is set in mask.
export async function selectMask(page, prefix, mask) {
    for (let n = 1; n <= 8; ++n) await setChecked(page, `#${prefix}-${n}`, (mask & (1 << (n - 1))) !== 0);
}

// Scan and connect through the page.
export async function scanAndConnect(page) {
    await click(page, '#scan');
    await waitText(page, '#armband-state', /^Found/, 5000);
    await click(page, '#connect');
    await waitText(page, '#armband-state', /^Connected/, 8000);
}

// Scan, connect and configure through the page.
export async function connectAndConfigure(page, channelMask, gestureMask) {
    await scanAndConnect(page);
    await configure(page, channelMask, gestureMask);
}

export async function configure(page, channelMask, gestureMask) {
    await selectMask(page, 'channel', channelMask);
    await selectMask(page, 'gesture', gestureMask);
    await click(page, '#configure');
    await waitUntil(async () => {
        const status = await apiJson('/api/status');
        return status.channelMask === channelMask && status.gestureMask === gestureMask;
    }, 5000, 'the configuration to reach the server');
}

export async function api(path) {
    const response = await fetch(`http://127.0.0.1:${PORT}${path}`);
    return { status: response.status, body: await response.text() };
}

export async function apiJson(path) {
    const { status, body } = await api(path);
    if (status !== 200) throw new Error(`GET ${path}: ${status} ${body}`);
    return JSON.parse(body);
}

// The data-action of every enabled button that sends, and of the primary ones.
export const controls = (page) => page.evaluate(() => {
    const buttons = [...document.querySelectorAll('button[data-action]')];
    const name = (b) => b.dataset.action + (b.dataset.gesture ? ` ${b.dataset.gesture}` : '');
    return { enabled: buttons.filter((b) => !b.disabled).map(name), primary: buttons.filter((b) => b.classList.contains('primary')).map(name) };
});
