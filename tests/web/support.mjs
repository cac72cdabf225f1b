// Helpers of the browser tests: a static server for the built page, programs that end with the
// tests, the Linux headless runner to compare with, and picture comparisons.
import { execFileSync, spawn } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { PNG } from 'pngjs';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const WEB_DIR = path.resolve(process.env.PIXBRK_WEB_DIR || path.join(ROOT, 'build/web'));
export const HOST_DIR = path.resolve(process.env.PIXBRK_HOST_DIR || path.join(ROOT, 'build/default'));
export const RUNNER = path.join(HOST_DIR, 'pixbrk-headless');
export const SERVER = path.join(HOST_DIR, 'pixbrk-server');

const TYPES = {
  '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.webmanifest': 'application/manifest+json', '.png': 'image/png', '.svg': 'image/svg+xml',
};

// Every index.html served records the page's uncaught errors and rejections and whatever its
// Content Security Policy refused, first thing.
const RECORDER_SCRIPT = `window.pixbrkErrors = [];
addEventListener('error', (e) => pixbrkErrors.push('error: ' + e.message));
addEventListener('unhandledrejection', (e) => pixbrkErrors.push('unhandled rejection: ' + (e.reason && e.reason.message || e.reason)));
addEventListener('securitypolicyviolation', (e) => pixbrkErrors.push('refused by the policy: ' + e.violatedDirective + ' ' + e.blockedURI));
`;
const withRecorder = (html, inject) =>
  html.replace('<head>', `<head><script>${RECORDER_SCRIPT}</script>` + (inject ? `<script>${inject}</script>` : ''));

// Serves the built page (or a copy of it in `dir`) on 127.0.0.1 at a free port, inside this
// process: it ends with it. set({ inject, files, offline }) changes what it serves from then on:
// `inject`, a script that index.html runs before the page's own; `files`, answers
// ({ status, body }) by file name in place of the files; `offline`, every request dropped.
export async function startServer(dir = WEB_DIR) {
  let o = {};
  const server = http.createServer((req, res) => {
    if (o.offline) {
      req.socket.destroy();
      return;
    }
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/^\/+/, '') || 'index.html';
    const file = path.join(dir, name);
    const headers = { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream', 'Cache-Control': 'no-cache' };
    const fake = o.files && o.files[name];
    if (fake) {
      res.writeHead(fake.status, headers).end(fake.body);
    } else if (!file.startsWith(dir + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404).end('not found');
    } else if (name === 'index.html') {
      res.writeHead(200, headers).end(withRecorder(fs.readFileSync(file, 'utf8'), o.inject));
    } else {
      res.writeHead(200, headers);
      fs.createReadStream(file).pipe(res);
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    set: (next = {}) => { o = next; },
    close: () => {
      server.closeAllConnections();
      return new Promise((r) => server.close(r));
    },
  };
}

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// pixbrk-server with SQLite in `data` (a fresh folder by default) on 127.0.0.1 (at `port`, or a
// free one), serving a copy of the built page whose index.html records errors as startServer's
// does; it ends with this process. stop() ends it with SIGTERM.
export async function startHofServer({ data = tempDir('hof-data'), port = 0 } = {}) {
  const web = tempDir('hof-page');
  fs.cpSync(WEB_DIR, web, { recursive: true });
  fs.writeFileSync(path.join(web, 'index.html'), withRecorder(fs.readFileSync(path.join(web, 'index.html'), 'utf8')));
  const child = ownChild(SERVER, ['--data', data, '--listen', `127.0.0.1:${port}`, '--web', web, '--rate-limit', '0', '--workers', '1'],
    { stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  child.stderr.on('data', (d) => { log += d; });
  const first = await new Promise((resolve, reject) => {
    child.stdout.on('data', (d) => {
      log += d;
      if (log.includes('\n')) resolve(log);
    });
    child.on('exit', () => reject(new Error('pixbrk-server did not start: ' + log)));
  });
  const url = first.match(/listening on (http:\/\/127\.0\.0\.1:(\d+)\/)/);
  return {
    url: url[1], port: Number(url[2]), data, log: () => log,
    stop: () => new Promise((resolve) => {
      child.ref();  // waited for: this process lives on until it has ended
      child.once('exit', resolve);
      child.kill('SIGTERM');
    }),
  };
}

// Starts a program that ends with this process, however it ends.
const children = new Set();
export function ownChild(command, args, options = {}) {
  const child = spawn(command, args, { stdio: 'ignore', ...options });
  child.unref();  // the tests end when they are done; their programs end with them
  children.add(child);
  child.on('exit', () => children.delete(child));
  child.on('error', (e) => { throw new Error(`${command}: ${e.message}`); });
  return child;
}
process.on('exit', () => {
  for (const c of children) c.kill('SIGKILL');
});
for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) {
  process.once(signal, () => process.exit(128 + os.constants.signals[signal]));
}

// A sound server of the tests' own (PulseAudio with a sink that plays into nothing, at the pace of
// the clock), for the browsers this process starts: without one Firefox plays no sound at all.
export async function startSoundServer() {
  const dir = tempDir('pulse');
  fs.mkdirSync(path.join(dir, 'home'));
  fs.mkdirSync(path.join(dir, 'run'), { mode: 0o700 });
  const socket = path.join(dir, 'native');
  const pulse = ownChild('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--load=module-null-sink sink_name=pixbrk',
    `--load=module-native-protocol-unix auth-anonymous=1 socket=${socket}`],
  { env: { ...process.env, HOME: path.join(dir, 'home'), XDG_RUNTIME_DIR: path.join(dir, 'run') } });
  for (let i = 0; !fs.existsSync(socket); i++) {
    if (i > 200) throw new Error('PulseAudio did not start');
    await sleep(50);
  }
  process.env.PULSE_SERVER = 'unix:' + socket;
  return { stop: () => pulse.kill() };
}

// A fresh folder; all of them are in one that is removed when this process ends.
let tempRoot = null;
export function tempDir(name) {
  if (!tempRoot) {
    tempRoot = fs.mkdtempSync(path.join(os.tmpdir(), 'pixbrk-web-'));
    process.on('exit', () => fs.rmSync(tempRoot, { recursive: true, force: true }));
  }
  return fs.mkdtempSync(path.join(tempRoot, `${name}-`));
}

// Runs the Linux headless runner in a fresh working directory holding only ROMDATA.BIN.
export function runLinux(args, dir = tempDir('linux')) {
  fs.copyFileSync(path.join(HOST_DIR, 'ROMDATA.BIN'), path.join(dir, 'ROMDATA.BIN'));
  const out = execFileSync(RUNNER, args, { cwd: dir, encoding: 'utf8', timeout: 120000 });
  return { summary: out.trim(), dir };
}

export const sha256 = (data) => crypto.createHash('sha256').update(data).digest('hex');

// Waits until the page's game state satisfies `test` (polled every 50 ms).
export async function waitState(page, test, what, timeoutMs = 20000) {
  const end = Date.now() + timeoutMs;
  for (;;) {
    const s = await page.evaluate(() => window.pixbrk.state());
    if (test(s)) return s;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}; scene ${s.scene}, score ${s.score}`);
    await sleep(50);
  }
}

// Page coordinates of the centre of virtual pixel (vx, vy) on the game's canvas.
export async function screenMapper(page) {
  const box = await page.box('#screen');
  return (vx, vy) => ({ x: box.x + (vx + 0.5) * box.width / 240, y: box.y + (vy + 0.5) * box.height / 320 });
}

// A tap with the mouse: press and release at virtual pixel (vx, vy), then the state `test`
// awaited; one more tap only if the game did not take the first.
export async function tap(page, vx, vy, test, what) {
  const at = await screenMapper(page);
  for (let i = 0; i < 2; i++) {
    await page.mouse.move(at(vx, vy).x, at(vx, vy).y);
    await page.mouse.down();
    await sleep(60);
    await page.mouse.up();
    try {
      return await waitState(page, test, what, 3000);
    } catch {
      // not taken: once more
    }
  }
  throw new Error('no ' + what);
}

// Compares the canvas in a screenshot of the page with a 240 x 320 reference picture: every
// virtual pixel must be an n x n block of exactly its colour. Returns the mismatching physical
// pixels and the first of them.
export async function compareBlocks(page, shotPng, referencePng, n) {
  const box = await page.box('#screen');
  const dpr = await page.evaluate(() => window.devicePixelRatio);
  const left = Math.round(box.x * dpr), top = Math.round(box.y * dpr);
  const shot = PNG.sync.read(shotPng), ref = PNG.sync.read(referencePng);
  let bad = 0, first = null;
  for (let y = 0; y < ref.height * n; y++) {
    for (let x = 0; x < ref.width * n; x++) {
      const s = ((top + y) * shot.width + left + x) * 4;
      const r = (Math.floor(y / n) * ref.width + Math.floor(x / n)) * 4;
      if ([0, 1, 2].some((c) => shot.data[s + c] !== ref.data[r + c])) {
        bad++;
        first ||= { x, y, shot: [...shot.data.subarray(s, s + 3)], ref: [...ref.data.subarray(r, r + 3)] };
      }
    }
  }
  return { bad, first, shotSize: [shot.width, shot.height] };
}

// The headless runner's picture of the title menu (it stays the same from frame 1 on).
let title = null;
export function titleReference() {
  if (!title) {
    const { dir } = runLinux(['--frames', '31', '--png', '30:title.png']);
    title = fs.readFileSync(path.join(dir, 'title.png'));
  }
  return title;
}

// Makes the page look hidden to the game, or visible again, as a switched tab does.
export function setHidden(page, hidden) {
  return page.evaluate((h) => {
    if (h) {
      Object.defineProperty(document, 'hidden', { configurable: true, get: () => true });
      Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => 'hidden' });
    } else {
      delete document.hidden;
      delete document.visibilityState;
    }
    document.dispatchEvent(new Event('visibilitychange'));
  }, hidden);
}
