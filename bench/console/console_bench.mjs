// The console's cost, measured in chromium against the real binary on its
// virtual armband (run by tools/bench.sh, on free ports):
//   1. the page's main-thread busy time per second (Chromium's TaskDuration)
//      and its plot drawing rate (window.emgStats.plotDraws), with 8 channels
//      streaming previews (a recording; once more with the plot paused, which
//      leaves the cost of receiving alone) and while identification runs;
//   2. the server's CPU with one native client streaming, alone and with the
//      console connected as well.
// Environment: EMGBRIDGE_BINARY, CONSOLE_RECORDINGS (see tools/console_kit/harness.mjs),
// CONSOLE_BENCH_SECONDS (default 10) per phase.
import fs from 'node:fs';

import {
    ControlClient, NativeClient, Server, launchBrowser, makeTempDir, openConsole, sleep, stats, waitUntil,
    writeRecordings,
} from '../../tools/console_kit/harness.mjs';
import { api, click, connectAndConfigure, waitText } from '../../tools/console_kit/page.mjs';

const SECONDS = Number(process.env.CONSOLE_BENCH_SECONDS || 10);
const TICKS_PER_SECOND = 100;  // USER_HZ on Linux

// utime + stime of the process, all threads, in seconds.
function cpuSeconds(pid) {
    const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
    return (Number(fields[11]) + Number(fields[12])) / TICKS_PER_SECOND;
}

async function pageSample(page) {
    const metrics = await page.metrics();
    return { at: performance.now() / 1000, task: metrics.TaskDuration, ...(await stats(page)) };
}

// Busy share of the main thread and frames drawn per second over SECONDS.
async function measurePage(page, label) {
    const first = await pageSample(page);
    await sleep(SECONDS * 1000);
    const last = await pageSample(page);
    const wall = last.at - first.at;
    const busy = (100 * (last.task - first.task)) / wall;
    const draws = (last.plotDraws - first.plotDraws) / wall;
    const previews = (last.previews - first.previews) / wall;
    console.log(`${label}: main thread busy ${busy.toFixed(1)} % of each second, ` +
        `${draws.toFixed(1)} plot draws/s, ${previews.toFixed(1)} previews/s over ${wall.toFixed(1)} s`);
}

async function measureServer(server, label) {
    const start = { at: performance.now() / 1000, cpu: cpuSeconds(server.pid) };
    await sleep(SECONDS * 1000);
    const wall = performance.now() / 1000 - start.at;
    const share = (100 * (cpuSeconds(server.pid) - start.cpu)) / wall;
    console.log(`${label}: server CPU ${share.toFixed(1)} % of one core over ${wall.toFixed(1)} s`);
}

// The subject holds each gesture for 1.5 s with rests between, until stopped.
function steer(control) {
    let step = 0;
    const timer = setInterval(() => {
        const gesture = step % 2 ? 0 : 1 + ((step / 2) % 8);
        step += 1;
        control.command(`gesture ${gesture}`);
    }, 1500);
    return () => clearInterval(timer);
}

const dir = makeTempDir('emgbridge-console-bench-');
const server = new Server(dir);
const control = new ControlClient();
const native = new NativeClient();
let browser;
let stopSteering = () => {};
try {
    await writeRecordings(dir, [1, 2, 3, 4, 5, 6, 7, 8]);
    await server.start();
    await control.connect();
    browser = await launchBrowser();
    let { page } = await openConsole(browser);
    await connectAndConfigure(page, 0xFF, 0xFF);
    await click(page, '#train');
    await waitUntil(async () => (await api('/api/model')).status === 200, 60000, 'W&B.txt');
    stopSteering = steer(control);

    await click(page, '[data-record="1"]');
    await sleep(1000);
    await measurePage(page, 'console, 8 channels recording');
    await click(page, '#pause');
    await measurePage(page, 'console, 8 channels recording, plot paused');
    await click(page, '#pause');
    await click(page, '[data-discard="1"]');
    await waitText(page, '#record-result', /discarded/i);

    // Enabled once the page has the server's idle state after the discard.
    await page.waitForSelector('#identify-start:not([disabled])', { timeout: 5000 });
    await click(page, '#identify-start');
    await sleep(1000);
    await measurePage(page, 'console, 8 channels identifying');
    await click(page, '#identify-stop');
    await waitUntil(async () => JSON.parse((await api('/api/status')).body).mode === 'idle', 5000, 'idle');

    await native.connect();
    native.send([0x06, 1]);
    await sleep(1000);
    await measureServer(server, 'native client and console, 8 channels recording');
    native.send([0x07]);
    await native.waitFor((m) => m[0] === 0x06 && m[1] === 0xFD, 5000, 'RECORD_STOP');

    await page.close();
    page = null;
    await waitUntil(async () => JSON.parse((await api('/api/status')).body).clients === 1, 5000, 'the console gone');
    native.messages.length = 0;
    native.send([0x06, 1]);
    await sleep(1000);
    await measureServer(server, 'native client alone, 8 channels recording');
    native.send([0x07]);
    await native.waitFor((m) => m[0] === 0x06 && m[1] === 0xFD, 5000, 'RECORD_STOP');
} finally {
    stopSteering();
    native.close();
    control.close();
    await browser?.close();
    await server.stop();
    fs.rmSync(dir, { recursive: true, force: true });
}
