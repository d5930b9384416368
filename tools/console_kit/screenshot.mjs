// `make screenshot`: brings the console to an informative state on the virtual
// armband (connected, a signal drawn, a model trained and uploaded, identifying)
// and saves it as a 1280×800 PNG at the path given.
//   node tools/console_kit/screenshot.mjs docs/console.png
import fs from 'node:fs';
import path from 'node:path';

import { ControlClient, Server, launchBrowser, makeTempDir, openConsole, sleep, waitUntil, writeRecordings }
    from './harness.mjs';
import { api, click, connectAndConfigure, waitText } from './page.mjs';

const target = path.resolve(process.argv[2] ?? 'docs/console.png');
const dir = makeTempDir('emgbridge-screenshot-');
const server = new Server(dir);
const control = new ControlClient();
let browser;
try {
    await writeRecordings(dir, [1, 2, 3]);
    await server.start();
    await control.connect();
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
    await click(page, '#upload');
    await page.waitForFunction(() => Number(document.querySelector('#upload-progress').value) === 100,
        { timeout: 10000 });

    // A few seconds of signal on the plot: a recording of gesture 2, discarded.
    await control.command('gesture 2');
    await click(page, '[data-record="2"]');
    await sleep(4000);
    await click(page, '[data-discard="2"]');
    await waitText(page, '#record-result', /discarded/i);

    await click(page, '#identify-start');
    for (const gesture of [1, 0, 3, 0, 2]) {
        await control.command(`gesture ${gesture}`);
        await sleep(1500);
    }
    await page.evaluate(() => window.scrollTo(0, 0));
    await sleep(300);
    await page.screenshot({ path: target });
    await click(page, '#identify-stop');
    console.log(`saved ${target}`);
} finally {
    control.close();
    await browser?.close();
    await server.stop();
    fs.rmSync(dir, { recursive: true, force: true });
}
