// The web zip of a release, served from a sub-path as any static host would serve it
// (/games/pixbrk/): the page loads and plays, shows its version in the Replays dialog, asks
// for nothing outside its folder, and loads and plays again offline after one visit.
//
//   node tests/release/web_zip.mjs WEB_ZIP VERSION
//
// Uses playwright-core from tests/web's npm setup (`npm ci` there) and Debian's Chromium.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const { chromium } = createRequire(path.join(root, 'tests/web/package.json'))('playwright-core');
const [zip, version] = process.argv.slice(2);
assert.ok(zip && version, 'usage: node tests/release/web_zip.mjs WEB_ZIP VERSION');
const SUB = '/games/pixbrk/';
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.webmanifest': 'application/manifest+json', '.png': 'image/png', '.svg': 'image/svg+xml' };

const site = fs.mkdtempSync(path.join(os.tmpdir(), 'pixbrk-webzip-'));
process.on('exit', () => fs.rmSync(site, { recursive: true, force: true }));
const requests = [];
let server, browser, context, page, url;

before(async () => {
  execFileSync('unzip', ['-q', path.resolve(zip), '-d', site]);
  const [top] = fs.readdirSync(site);
  fs.mkdirSync(path.join(site, 'games'));
  fs.renameSync(path.join(site, top), path.join(site, 'games/pixbrk'));
  server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.join(site, name.endsWith('/') ? name + 'index.html' : name);
    const found = file.startsWith(site + path.sep) && fs.existsSync(file) && fs.statSync(file).isFile();
    requests.push({ name, found });
    if (!found) return res.writeHead(404).end();
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream', 'Cache-Control': 'no-cache' });
    fs.createReadStream(file).pipe(res);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  url = `http://127.0.0.1:${server.address().port}${SUB}`;
  browser = await chromium.launch({ executablePath: process.env.PIXBRK_CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'] });
  context = await browser.newContext({ viewport: { width: 800, height: 900 } });
  page = await context.newPage();
});

after(async () => {
  await browser?.close();
  server?.close();
});

// Taps GAME START until a round is being played, then waits for its frames to go on.
async function playsARound() {
  await page.evaluate(() => window.pixbrk.ready);
  const box = await page.locator('#screen').boundingBox();
  const x = box.x + (120.5 * box.width) / 240, y = box.y + (112.5 * box.height) / 320;
  for (let tries = 0; (await page.evaluate(() => window.pixbrk.state().scene)) !== 2; tries++) {
    assert.ok(tries < 50, 'GAME START did not start a round');
    await page.mouse.move(x, y);
    await page.mouse.down();
    await page.waitForTimeout(100);
    await page.mouse.up();
    await page.waitForTimeout(200);
  }
  const frames = await page.evaluate(() => window.pixbrk.frames());
  await page.waitForFunction((f) => window.pixbrk.frames() > f + 30, frames);
}

test('served from a sub-path, the page loads, plays and shows its version', async () => {
  await page.goto(url);
  await playsARound();
  await page.click('#replays-button');
  assert.equal(await page.locator('#version').innerText(), `PIXEL BREAKER ${version}`);
  assert.ok(await page.locator('#version').isVisible(), 'the version is shown in the Replays dialog');
  await page.keyboard.press('Escape');
  const outside = requests.filter((r) => !r.name.startsWith(SUB) || !r.found).map((r) => r.name);
  assert.deepEqual(outside, [], 'every request is for a file of the page, in its folder');
});

test('after one visit it loads and plays offline', async () => {
  // The worker controls the page once it is active, and it is active once its copy is complete.
  await page.waitForFunction(() => navigator.serviceWorker.controller !== null, null, { timeout: 30000 });
  await context.setOffline(true);
  await page.reload();
  await playsARound();
});
