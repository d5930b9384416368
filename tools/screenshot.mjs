// `make screenshot`: brings the console to an informative state on the virtual
// armband (connected, the live signal, a model trained and uploaded, identifying
// a gesture held through the page's pad) and saves it as a 1280×800 PNG at the path given.
//   node tools/screenshot.mjs docs/console.png
import fs from 'node:fs';
import path from 'node:path';

import { Server, launchBrowser, makeTempDir, openConsole, sleep, waitUntil, writeRecordings } from './console_kit/harness.mjs';
import { api, click, connectAndConfigure } from './console_kit/page.mjs';

const target = path.resolve(process.argv[2] ?? 'docs/console.png');
const dir = makeTempDir('emgbridge-screenshot-');
const server = new Server(dir);
let browser;
try {
    await writeRecordings(dir, [1, 2, 3]);
    await server.start();
    browser = await launchBrowser();
    const { page } = await openConsole(browser);
    await connectAndConfigure(page, 0xFF, 0x07);
    for (const [gesture, name] of [[1, 'Fist'], [2, 'Open hand'], [3, 'Pinch']]) {
        const input = await page.$(`[data-gesture-name="${gesture}"]`);
        await input.click({ clickCount: 3 });
        await input.type(name);
        await input.press('Tab');
    }
    await click(page, '#train');
    await waitUntil(async () => (await api('/api/model')).status === 200, 30000, 'W&B.txt');
    await page.waitForSelector('#upload:not([disabled])', { timeout: 10000 });
    await click(page, '#upload');
    await page.waitForFunction(() => Number(document.querySelector('#upload-progress').value) === 100,
        { timeout: 10000 });

    await click(page, '#identify-start');
    for (const gesture of [1, 0, 3, 0, 2]) {
        await click(page, `[data-action="hold"][data-gesture="${gesture}"]`);
        await sleep(1500);
    }
    // The live signal returns once identification stops; the timeline keeps the last 30 s.
    await click(page, '#identify-stop');
    await sleep(2500);
    await page.evaluate(() => window.scrollTo(0, 0));
    await sleep(300);
    await page.screenshot({ path: target });
    console.log(`saved ${target}`);
} finally {
    await browser?.close();
    await server.stop();
    fs.rmSync(dir, { recursive: true, force: true });
}
