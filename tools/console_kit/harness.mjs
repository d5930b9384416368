// What the browser tests and the console benchmark share: the real server in a
// folder of its own, the virtual armband's control endpoint, a native
// WebSocket client, and Debian's chromium with the console open in it.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';
import WebSocket from 'ws';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const BINARY = path.resolve(process.env.EMGBRIDGE_BINARY || path.join(ROOT, 'build/emgbridge'));
export const RECORDINGS_TOOL =
    path.resolve(process.env.CONSOLE_RECORDINGS || path.join(ROOT, 'build/tools/console_kit/console_recordings'));
// Ports of 127.0.0.1 that were free when this process started (the system's
// pick), kept for every server it starts, so a restarted server is reached at
// the same address and tests run beside others.
function freePort() {
    return new Promise((resolve, reject) => {
        const probe = net.createServer();
        probe.once('error', reject);
        probe.listen(0, '127.0.0.1', () => {
            const { port } = probe.address();
            probe.close(() => resolve(port));
        });
    });
}
export const PORT = await freePort();
export const CONTROL_PORT = await freePort();
export const CONSOLE_URL = `http://127.0.0.1:${PORT}/`;
export const CHROMIUM = '/usr/bin/chromium';

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export async function waitUntil(check, timeoutMs, what) {
    const deadline = Date.now() + timeoutMs;
    for (;;) {
        const value = await check();
        if (value) return value;
        if (Date.now() > deadline) throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
        await sleep(50);
    }
}

export function makeTempDir(prefix) {
    return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

// raw<N>.bin for the gestures given: 30 s of the virtual subject at 8 channels.
export function writeRecordings(dir, gestures) {
    return new Promise((resolve, reject) => {
        const tool = spawn(RECORDINGS_TOOL, [dir, ...gestures.map(String)], { stdio: 'inherit' });
        tool.on('error', reject);
        tool.on('exit', (code) => (code === 0 ? resolve() : reject(new Error(`console_recordings exited ${code}`))));
    });
}

function portOpen(port) {
    return new Promise((resolve) => {
        const socket = net.connect(port, '127.0.0.1');
        socket.once('connect', () => {
            socket.destroy();
            resolve(true);
        });
        socket.once('error', () => resolve(false));
    });
}

// Children still running when this process goes are stopped with it.
const children = new Set();
process.on('exit', () => children.forEach((child) => child.kill('SIGKILL')));
for (const signal of ['SIGINT', 'SIGTERM']) process.on(signal, () => process.exit(130));

// The emgbridge binary working in dataDir, its output kept in dataDir/server.log.
export class Server {
    constructor(dataDir) {
        this.dataDir = dataDir;
        this.logPath = path.join(dataDir, 'server.log');
        this.process = null;
    }

    get pid() {
        return this.process?.pid;
    }

    async start() {
        if (await portOpen(PORT)) throw new Error(`port ${PORT} is taken by another process`);
        const log = fs.openSync(this.logPath, 'a');
        const ports = ['--port', String(PORT), '--control-port', String(CONTROL_PORT)];
        this.process = spawn(BINARY, ports, { cwd: this.dataDir, stdio: ['ignore', log, log] });
        fs.closeSync(log);
        children.add(this.process);
        const child = this.process;
        let failure = null;
        child.once('error', (error) => { failure = error; });
        child.once('exit', () => children.delete(child));
        await waitUntil(async () => {
            if (failure) throw failure;
            if (child.exitCode !== null) throw new Error(`emgbridge exited ${child.exitCode}:\n${this.log()}`);
            // Its own log names the port: the server that answers there is this one.
            const log = this.log();
            if (log.includes('uWS failed to listen')) throw new Error(`emgbridge could not listen on ${PORT}`);
            return log.includes(`console at http://localhost:${PORT}/`) && (await portOpen(PORT));
        }, 10000, `the server to listen on ${PORT}`);
    }

    // Stops the server as Ctrl+C does; its exit code, or the signal's name if it did not exit.
    async stop() {
        const child = this.process;
        this.process = null;
        if (!child) return null;
        if (child.exitCode === null && child.signalCode === null) {
            const exited = new Promise((resolve) => child.once('exit', resolve));
            child.kill('SIGINT');
            const timer = setTimeout(() => child.kill('SIGKILL'), 5000);
            await exited;
            clearTimeout(timer);
        }
        return child.exitCode ?? child.signalCode;
    }

    log() {
        return fs.existsSync(this.logPath) ? fs.readFileSync(this.logPath, 'utf8') : '';
    }
}

// One line per command, one answer line each (docs/control-endpoint.md).
export class ControlClient {
    async connect() {
        this.socket = net.connect(CONTROL_PORT, '127.0.0.1');
        this.socket.setEncoding('utf8');
        this.waiting = [];
        let buffered = '';
        this.socket.on('data', (chunk) => {
            buffered += chunk;
            for (let end; (end = buffered.indexOf('\n')) >= 0; buffered = buffered.slice(end + 1)) {
                this.waiting.shift()?.(buffered.slice(0, end).replace(/\r$/, ''));
            }
        });
        await new Promise((resolve, reject) => {
            this.socket.once('connect', resolve);
            this.socket.once('error', reject);
        });
    }

    command(line) {
        return new Promise((resolve) => {
            this.waiting.push(resolve);
            this.socket.write(line + '\n');
        });
    }

    async status() {
        const answer = await this.command('status');
        return JSON.parse(answer.replace(/^ok /, ''));
    }

    close() {
        this.socket?.destroy();
    }
}

// A client of the binary protocol, as the training application is: no Origin header.
export class NativeClient {
    async connect() {
        this.messages = [];
        this.ws = new WebSocket(`ws://127.0.0.1:${PORT}/`);
        this.ws.on('message', (data) => this.messages.push([...data]));
        await new Promise((resolve, reject) => {
            this.ws.once('open', resolve);
            this.ws.once('error', reject);
        });
    }

    send(bytes) {
        this.ws.send(Buffer.from(bytes));
    }

    async waitFor(matches, timeoutMs, what) {
        return waitUntil(() => this.messages.find(matches), timeoutMs, what);
    }

    close() {
        this.ws?.terminate();
    }
}

export function launchBrowser() {
    // Pages in the background run as in front: the tests drive two tabs at once.
    const background = ['--disable-background-timer-throttling', '--disable-renderer-backgrounding',
        '--disable-backgrounding-occluded-windows'];
    return puppeteer.launch({ executablePath: CHROMIUM, headless: true, args: ['--no-sandbox', ...background] });
}

// The console in a new page at 1280×800; `errors` collects what the page reports as errors.
export async function openConsole(browser) {
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 800 });
    const errors = [];
    page.on('console', (message) => {
        const url = message.location()?.url ?? '';
        // Chromium logs every 404 it fetches; these two say "none yet" and the page expects them.
        const expectedAbsence = /status of 404/.test(message.text()) && /\/api\/(model|evaluation)$/.test(url);
        if (message.type() === 'error' && !expectedAbsence) errors.push(`${message.text()} ${url}`.trim());
    });
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(CONSOLE_URL, { waitUntil: 'load' });
    await page.waitForFunction(() => window.emgStats?.connected === true, { timeout: 10000 });
    return { page, errors };
}

export const stats = (page) => page.evaluate(() => ({ ...window.emgStats }));
