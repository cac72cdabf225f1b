// Helpers of the browser tests: a static server for the built page, the system's Chromium, the
// Linux headless runner to compare with, and picture comparisons done in the page.
import { execFileSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const WEB_DIR = path.resolve(process.env.PIXBRK_WEB_DIR || path.join(ROOT, 'build/web'));
export const HOST_DIR = path.resolve(process.env.PIXBRK_HOST_DIR || path.join(ROOT, 'build/default'));
export const RUNNER = path.join(HOST_DIR, 'pixbrk-headless');

const TYPES = {
  '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.webmanifest': 'application/manifest+json', '.png': 'image/png', '.svg': 'image/svg+xml',
};

// Serves the built page (or a copy of it in `dir`) on 127.0.0.1 at a free port, inside this
// process: it ends with it.
export async function startServer(dir = WEB_DIR) {
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/^\/+/, '') || 'index.html';
    const file = path.join(dir, name);
    if (!file.startsWith(dir + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404).end('not found');
      return;
    }
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream', 'Cache-Control': 'no-cache' });
    fs.createReadStream(file).pipe(res);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { url: `http://127.0.0.1:${server.address().port}/`, close: () => new Promise((r) => server.close(r)) };
}

// Debian's Chromium, never a downloaded one.
export function launchBrowser(args = []) {
  return chromium.launch({ executablePath: process.env.PIXBRK_CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox', ...args] });
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
    await page.waitForTimeout(50);
  }
}

// Page coordinates of the centre of virtual pixel (vx, vy) on the game's canvas.
export async function screenMapper(page) {
  const box = await page.locator('#screen').boundingBox();
  return (vx, vy) => ({ x: box.x + (vx + 0.5) * box.width / 240, y: box.y + (vy + 0.5) * box.height / 320 });
}

// Compares, in the page, the canvas in a full-page screenshot with a 240 x 320 reference picture:
// every virtual pixel must be an n x n block of exactly its colour. Returns the mismatching
// physical pixels and the first of them.
export async function compareBlocks(page, shotPng, referencePng, n) {
  const box = await page.locator('#screen').boundingBox();
  const dpr = await page.evaluate(() => window.devicePixelRatio);
  const left = Math.round(box.x * dpr), top = Math.round(box.y * dpr);
  return page.evaluate(async ([a, b, left, top, n]) => {
    const load = async (b64) => {
      const blob = await (await fetch('data:image/png;base64,' + b64)).blob();
      const bmp = await createImageBitmap(blob, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
      const g = new OffscreenCanvas(bmp.width, bmp.height).getContext('2d');
      g.drawImage(bmp, 0, 0);
      return g.getImageData(0, 0, bmp.width, bmp.height);
    };
    const shot = await load(a), ref = await load(b);
    let bad = 0, first = null;
    for (let y = 0; y < ref.height * n; y++) {
      for (let x = 0; x < ref.width * n; x++) {
        const s = ((top + y) * shot.width + left + x) * 4;
        const r = (Math.floor(y / n) * ref.width + Math.floor(x / n)) * 4;
        for (let c = 0; c < 3; c++) {
          if (shot.data[s + c] !== ref.data[r + c]) {
            bad++;
            if (!first) first = { x, y, shot: Array.from(shot.data.slice(s, s + 3)), ref: Array.from(ref.data.slice(r, r + 3)) };
            break;
          }
        }
      }
    }
    return { bad, first, shotSize: [shot.width, shot.height] };
  }, [shotPng.toString('base64'), referencePng.toString('base64'), left, top, n]);
}

// The headless runner's picture of the title menu (it stays the same from frame 1 on).
export function titleReference() {
  const { dir } = runLinux(['--frames', '31', '--png', '30:title.png']);
  return fs.readFileSync(path.join(dir, 'title.png'));
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
