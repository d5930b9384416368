// The web console in Debian's chromium against the real binary on its virtual
// armband. Each group is one server and one browser session.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';

import {
    ControlClient, NativeClient, Server, launchBrowser, makeTempDir, openConsole, sleep, stats, waitUntil,
    writeRecordings,
} from '../../tools/console_kit/harness.mjs';
import {
    api, apiJson, click, configure, connectAndConfigure, controls, scanAndConnect, text, waitText,
} from '../../tools/console_kit/page.mjs';


const NO_HEX = /\b0x[0-9a-f]{2}\b|\b(?:ff|fd|fc|f0|f1|f2|ef|ee)\b/i;

async function openSession(s, recordings = []) {
    s.dir = makeTempDir('emgbridge-console-');
    if (recordings.length) await writeRecordings(s.dir, recordings);
    s.server = new Server(s.dir);
    await s.server.start();
    s.control = new ControlClient();
    await s.control.connect();
    s.browser = await launchBrowser();
    ({ page: s.page, errors: s.errors } = await openConsole(s.browser));
}

async function closeSession(s) {
    const steps = [() => s.native?.close(), () => s.control?.close(), () => s.browser?.close(),
        () => s.server?.stop(), () => s.dir && fs.rmSync(s.dir, { recursive: true, force: true })];
    for (const step of steps) {
        try {
            await step();
        } catch (error) {
            console.error('clean-up:', error.message);
        }
    }
}

// The controls but the virtual armband's pad, which works whenever the server runs.
async function armbandControls(page) {
    const { enabled, primary } = await controls(page);
    return { enabled: enabled.filter((action) => !action.startsWith('hold ')), primary };
}

const progressValue = (page, selector) => page.$eval(selector, (bar) => Number(bar.value));

// frame,time_s,ch1..chC, one row per frame of the raw file, one byte per channel.
function assertCsvMatchesRaw(csv, raw, channels) {
    const lines = csv.trimEnd().split('\n');
    const header = ['frame', 'time_s', ...Array.from({ length: channels }, (_, c) => `ch${c + 1}`)].join(',');
    assert.equal(lines[0].trim(), header);
    assert.equal(lines.length - 1, raw.length / channels, 'one row per frame');
    for (let frame = 0; frame < lines.length - 1; ++frame) {
        const cells = lines[frame + 1].trim().split(',');
        assert.equal(cells.length, 2 + channels, `row ${frame}`);
        assert.equal(Number(cells[0]), frame, `frame number of row ${frame}`);
        assert.ok(Math.abs(Number(cells[1]) - frame / 650) < 0.0005, `time of row ${frame}: ${cells[1]}`);
        for (let c = 0; c < channels; ++c) {
            assert.equal(Number(cells[2 + c]), raw[frame * channels + c], `row ${frame}, ch${c + 1}`);
        }
    }
}

describe('the console on a fresh server', () => {
    const s = {};
    before(() => openSession(s));
    after(() => closeSession(s));

    it('loads without console errors, connected and with the default names', async () => {
        assert.deepEqual(s.errors, []);
        assert.equal(await s.page.$eval('#banner', (banner) => banner.hidden), true);
        assert.equal(await s.page.$eval('[data-gesture-name="1"]', (input) => input.value), 'Gesture 1');
        assert.match(await text(s.page, '#armband-state'), /^Not found/);
        assert.equal((await apiJson('/api/status')).clients, 1);
        // Only Scan can work before an armband is found, and it is the one next step.
        await waitUntil(async () => (await controls(s.page)).primary.length, 3000, 'a primary button');
        assert.deepEqual(await armbandControls(s.page), { enabled: ['scan'], primary: ['scan'] });
    });

    it('Scan, Connect and the configuration show the states the server reports; Record waits for Configure', async () => {
        const { page } = s;
        assert.equal(await s.control.command('versions 2.7.1 rev-K'), 'ok');
        await scanAndConnect(page);
        // Connected, not configured: Configure is next, Record cannot work, and a
        // RECORD_START from another client is refused without a "saved" anywhere.
        const connected = await controls(page);
        assert.deepEqual(connected.primary, ['configure']);
        assert.ok(!connected.enabled.some((action) => /^(record|train|upload|identify-start)\b/.test(action)), connected.enabled.join());
        s.native = new NativeClient();
        await s.native.connect();
        s.native.send([0x06, 1]);
        await s.native.waitFor((m) => m[0] === 0x06, 3000, 'the RECORD_START refusal');
        assert.deepEqual(s.native.messages.filter((m) => m[0] === 0x06), [[0x06, 0xFF]]);
        await sleep(500);
        assert.doesNotMatch(await text(page, '#record-result'), /saved/);
        assert.equal(fs.existsSync(path.join(s.dir, 'raw1.bin')), false);
        await configure(page, 0x0F, 0x07);
        await waitUntil(async () => (await controls(page)).primary[0] === 'record 1', 3000, 'Record 1 to be next');
        assert.equal((await apiJson('/api/status')).armband.state, 'connected');
        await waitText(page, '#firmware', /2\.7\.1/);
        await waitText(page, '#hardware', /rev-K/);
        const armband = await s.control.status();
        assert.equal(armband.channelMask, 0x0F);
        assert.equal(armband.dataLength, 64);
        const configured = await text(page, '#armband-status');

        // A refusal by the armband is told in words, and replaced by the next success.
        assert.equal(await s.control.command('fail emg-config'), 'ok');
        await click(page, '#configure');
        const refused = await waitUntil(async () => {
            const now = await text(page, '#armband-status');
            return now !== configured && now;
        }, 5000, 'the refusal to show');
        assert.doesNotMatch(refused, NO_HEX);
        await click(page, '#configure');
        await waitUntil(async () => (await text(page, '#armband-status')) === configured, 5000, 'success again');
    });

    it("shows a native client's recording: every preview counted and drawn, then its end", async () => {
        const { page } = s;
        const before = await stats(page);
        s.native.send([0x06, 2]);
        await waitUntil(async () => (await stats(page)).previews >= before.previews + 80, 5000, '80 previews');
        await page.waitForSelector('[data-gesture-row="2"][data-active]', { timeout: 3000 });
        assert.ok(await progressValue(page, '[data-record-progress="2"]') > 0, 'the countdown of gesture 2 runs');
        await sleep(500);
        s.native.send([0x07]);
        await s.native.waitFor((m) => m[0] === 0x06 && m[1] === 0xFD, 3000, 'RECORD_STOP acknowledged');
        await waitText(page, '#record-result', /discarded/i);
        await sleep(300);  // previews still under way when the stop was read
        const seen = await stats(page);
        const sent = s.native.messages.filter((m) => m[0] === 0x07);
        // The page, a watcher, may also have received the idle signal around the recording.
        assert.ok(seen.previews - before.previews >= sent.length, 'the page saw every preview the native client saw');
        assert.ok(seen.previewFrames - before.previewFrames >= 4 * sent.length, 'four frames per preview');
        assert.ok(seen.plotDraws > before.plotDraws, 'the plot was drawn');
    });

    it('records 30 s through the page; the recording is listed and its CSV matches the raw file', async () => {
        const { page } = s;
        let holding = false;
        const steer = setInterval(() => {
            holding = !holding;
            s.control.command(holding ? 'gesture 1' : 'gesture 0');
        }, 2500);
        try {
            await click(page, '[data-record="1"]');
            await sleep(5000);
            const progress = await progressValue(page, '[data-record-progress="1"]');
            assert.ok(progress > 0, `the countdown runs (${progress})`);
            await waitText(page, '#record-result', /saved/i, 35000);
        } finally {
            clearInterval(steer);
        }
        const raw = fs.readFileSync(path.join(s.dir, 'raw1.bin'));
        assert.ok(raw.length > 0 && raw.length % (16 * 4) === 0, `whole 4-channel packets (${raw.length} bytes)`);
        const row = await page.waitForSelector('#recordings [data-recording="1"]', { timeout: 5000 });
        const seconds = raw.length / 4 / 650;
        await waitText(page, '#recordings [data-recording="1"]', new RegExp(`${seconds.toFixed(1).replace('.', '\\.')} s`));
        const href = await row.$eval('a[href^="/api/recordings/1.csv"]', (link) => link.getAttribute('href'));
        const csv = await page.evaluate((url) => fetch(url).then((response) => response.text()), href);
        assertCsvMatchesRaw(csv, raw, 4);
        assert.deepEqual(s.errors, []);
    });

    it("a refusal in a second tab is told there and leaves this tab's recording alone", async () => {
        const { page } = s;
        const second = await openConsole(s.browser);
        try {
            await click(page, '[data-record="2"]');
            await waitText(second.page, '#record-result', /recording Gesture 2/, 5000);
            const shown = await progressValue(page, '[data-record-progress="2"]');
            // A tab whose state lags behind: its Record 3 still enabled when clicked.
            await second.page.$eval('[data-record="3"]', (button) => { button.disabled = false; button.click(); });
            await waitText(second.page, '#record-result', /refused: another recording is running/, 3000);
            await sleep(1000);
            assert.match(await text(page, '#record-result'), /recording Gesture 2/);
            assert.ok(await progressValue(page, '[data-record-progress="2"]') > shown, 'the countdown went on');
            await click(page, '[data-discard="2"]');
            await waitText(page, '#record-result', /discarded/i);
        } finally {
            await second.page.close();
        }
    });

    it('a reload and a second tab count down by the server\'s clock', async () => {
        const { page } = s;
        const left = async (p) => Number((await text(p, '[data-countdown="1"]')).replace(' s', ''));
        await click(page, '[data-record="1"]');
        await sleep(5000);
        await page.reload({ waitUntil: 'load' });
        const second = await openConsole(s.browser);
        try {
            await waitUntil(async () => (await left(page)) > 0 && (await left(second.page)) > 0, 15000, 'the countdowns');
            // Counted from the recording's start by the server's clock: not restarted at 30 s by
            // the reload or the new tab, and the same in both (however slow the machine).
            const [reloaded, opened] = [await left(page), await left(second.page)];
            assert.ok(reloaded <= 26 && opened <= 26, `${reloaded} s and ${opened} s left`);
            assert.ok(Math.abs(reloaded - opened) <= 2, `${reloaded} s and ${opened} s left`);
        } finally {
            await click(page, '[data-discard="1"]');
            await second.page.close();
        }
    });

    it('shows the banner while the server is gone and clears it when the server returns', async () => {
        const { page } = s;
        s.native.close();
        assert.equal(await s.server.stop(), 0, 'a clean stop with the console connected');
        await page.waitForFunction(() => !document.querySelector('#banner').hidden, { timeout: 5000 });
        await s.server.start();
        await page.waitForFunction(() => document.querySelector('#banner').hidden && window.emgStats.connected,
            { timeout: 20000 });
        assert.equal((await apiJson('/api/status')).clients, 1, 'the page reconnected once');
    });
});

describe('the console with recordings prepared in the data folder', () => {
    const s = {};
    before(() => openSession(s, [1, 2, 3]));
    after(() => closeSession(s));

    it('lists the recordings and keeps a renamed gesture across a reload', async () => {
        const { page } = s;
        await connectAndConfigure(page, 0xFF, 0x07);
        // Once the channel count is configured, each prepared file reads as 30 s.
        for (const gesture of [1, 2, 3]) await waitText(page, `#recordings [data-recording="${gesture}"]`, /30\.0 s/);
        const name = await page.$('[data-gesture-name="2"]');
        await name.click({ clickCount: 3 });
        await name.type('Fist');
        await name.press('Tab');
        await page.reload({ waitUntil: 'load' });
        await page.waitForFunction(() => window.emgStats?.connected === true, { timeout: 10000 });
        assert.equal(await page.$eval('[data-gesture-name="2"]', (input) => input.value), 'Fist');
        await waitText(page, '#armband-state', /^Connected/);
    });

    it('Train and Upload reach 100 %', async () => {
        const { page } = s;
        await click(page, '#train');
        await waitUntil(async () => (await api('/api/model')).status === 200, 30000, 'W&B.txt');
        const model = await apiJson('/api/model');
        assert.deepEqual([model.gestures, model.channels, model.rows], [3, 8, 3]);
        await waitText(page, '#train-result', /generated/, 5000);
        await waitText(page, '#model-summary', /Gestures\s*3\s*Channels\s*8\s*Classifiers\s*3/, 5000);

        await click(page, '#upload');
        await page.waitForFunction(() => Number(document.querySelector('#upload-progress').value) === 100,
            { timeout: 10000 });
        await waitText(page, '#upload-result', /uploaded/, 5000);
        const image = fs.readFileSync(path.join(s.dir, 'model.bin')).toString('hex');
        assert.equal((await s.control.status()).modelImage, image, 'the armband holds the model');
    });

    it('identification names the gesture the subject holds', async () => {
        const { page } = s;
        await click(page, '#identify-start');
        await waitText(page, '#current-gesture', /^no gesture$/i, 5000);
        for (const [gesture, shown] of [[2, /^Fist$/], [3, /^Gesture 3$/], [1, /^Gesture 1$/]]) {
            assert.equal(await s.control.command(`gesture ${gesture}`), 'ok');
            await waitText(page, '#current-gesture', shown, 5000);
            assert.equal(await s.control.command('gesture 0'), 'ok');
            await waitText(page, '#current-gesture', /^no gesture$/i, 5000);
        }
        assert.deepEqual(s.errors, []);
    });

    it('nothing of a server survives it: offline ends "Identifying", another data folder clears model and evaluation', async () => {
        const { page } = s;
        await waitUntil(async () => (await s.page.$$('.heatmap th.col-name')).length === 3, 10000, 'the evaluation');
        assert.match(await text(page, '.heatmap thead'), /Fist/, 'columns named by gesture');
        assert.equal(await s.server.stop(), 0);
        await page.waitForFunction(() => !document.querySelector('#banner').hidden, { timeout: 5000 });
        assert.doesNotMatch(await text(page, '#mode'), /Identifying/);
        assert.match(await text(page, '#current-gesture'), /^no gesture$/);
        const otherDir = path.join(s.dir, 'other');
        fs.mkdirSync(otherDir);
        s.server = new Server(otherDir);
        await s.server.start();
        await page.waitForFunction(() => window.emgStats.connected, { timeout: 20000 });
        await waitText(page, '#model-summary', /No model yet/, 5000);
        assert.equal(await text(page, '#evaluation'), '');
        assert.equal(await text(page, '#train-result'), '', 'the old server\'s "generated" is gone');
        assert.equal(await text(page, '#upload-percent'), '0 %');
        assert.equal(await text(page, '#recordings'), 'No recordings yet.');
        assert.deepEqual((await armbandControls(page)).enabled, ['scan']);
    });
});

// The largest standard deviation among the channels of a recording's CSV.
function largestSpread(csv) {
    const rows = csv.trimEnd().split('\n').slice(1).map((line) => line.split(',').slice(2).map(Number));
    return Math.max(...rows[0].map((_, c) => {
        const mean = rows.reduce((sum, row) => sum + row[c], 0) / rows.length;
        return Math.sqrt(rows.reduce((sum, row) => sum + (row[c] - mean) ** 2, 0) / rows.length);
    }));
}

describe('the whole walk with only the page, the virtual armband held through its pad', () => {
    const s = {};
    const csvOf = (gesture) => s.page.evaluate((n) => fetch(`/api/recordings/${n}.csv`).then((r) => r.text()), gesture);
    const hold = (gesture) => click(s.page, `[data-action="hold"][data-gesture="${gesture}"]`);
    before(() => openSession(s));
    after(() => closeSession(s));

    it('Scan → Connect → Configure → six recordings → Train → Upload → Identify names each held gesture', async () => {
        const { page } = s;
        const started = Date.now();
        await connectAndConfigure(page, 0xFF, 0x3F);
        // The signal is live while idle, for the page only.
        s.native = new NativeClient();
        await s.native.connect();
        await waitText(page, '#signal-info', /^live/, 3000);
        const before = (await stats(page)).previews;
        await sleep(1000);
        assert.ok((await stats(page)).previews - before >= 30, 'about 41 previews a second while idle');
        assert.equal(s.native.messages.filter((m) => m[0] === 0x07).length, 0, 'no preview for a native client');
        s.native.close();

        for (const gesture of [1, 2, 3, 4, 5, 6]) {
            await hold(gesture);
            await page.waitForSelector(`[data-action="hold"][data-gesture="${gesture}"][aria-pressed="true"]`, { timeout: 3000 });
            await waitUntil(async () => (await controls(page)).primary[0] === `record ${gesture}`, 3000, `Record ${gesture} next`);
            await click(page, `[data-record="${gesture}"]`);
            await waitText(page, '#record-result', /recording/, 3000);
            await waitText(page, '#record-result', /saved/, 40000);
        }
        await hold(0);
        for (const step of ['train', 'upload', 'identify-start']) {
            await waitUntil(async () => (await controls(page)).primary[0] === step, 60000, `${step} to be next`);
            await click(page, `[data-action="${step}"]`);
        }
        for (const gesture of [1, 2, 3, 4, 5, 6]) {
            await hold(gesture);
            await waitText(page, '#current-gesture', new RegExp(`^Gesture ${gesture}$`), 5000);
        }
        console.log(`whole walk through the page: ${((Date.now() - started) / 1000).toFixed(1)} s`);
        await hold(0);
        await click(page, '#identify-stop');
        assert.deepEqual(s.errors, []);
    });

    it('Record again replaces a take, Delete removes one, and the model is marked out of date', async () => {
        const { page } = s;
        page.on('dialog', (dialog) => dialog.accept());
        const heldSpread = largestSpread(await csvOf(6));
        await click(page, '[data-record-again="6"]');
        await waitText(page, '#record-result', /recording/, 3000);
        await waitText(page, '#record-result', /saved/, 40000);
        const raw = fs.statSync(path.join(s.dir, 'raw6.bin')).size;
        assert.ok(Math.abs(raw / 8 / 650 - 30) < 1, `one take of 30 s (${raw} bytes)`);
        assert.ok(largestSpread(await csvOf(6)) < heldSpread / 3, 'the new take is of the resting subject');
        await waitUntil(() => page.$eval('#model-stale', (note) => !note.hidden), 5000, 'the model marked out of date');
        await click(page, '[data-delete="5"]');
        await waitText(page, '#record-result', /deleted/, 5000);
        assert.equal(fs.existsSync(path.join(s.dir, 'raw5.bin')), false);
        assert.ok(!(await controls(page)).enabled.includes('train'), 'Train waits for gesture 5');
        assert.deepEqual((await controls(page)).primary, ['record 5']);
    });
});
