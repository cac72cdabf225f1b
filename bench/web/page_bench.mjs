// Measures the web page in headless Chromium: its transfer size, the time from navigation to the
// first game frame, the cost of each animation frame that runs the game, and how long after its
// frame an effect is heard.
//
//   (cd tests/web && npm ci) && node bench/web/page_bench.mjs [seconds of play, default 30]
//
// Uses the page in build/web (the web preset) and the browser-test helpers of tests/web.
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { WEB_DIR, launchBrowser, screenMapper, startServer } from '../../tests/web/support.mjs';

// What the service worker caches (its list, written by the build), itself, not ROMDATA.BIN.
const PAGE_FILES = fs.readFileSync(path.join(WEB_DIR, 'sw.js'), 'utf8').match(/const FILES = \[([^\]]*)\]/)[1]
  .split(',').map((f) => f.trim().slice(1, -1)).filter((f) => f !== './' && f !== 'ROMDATA.BIN').concat('sw.js');
const playSeconds = Number(process.argv[2] || 30);

const quantile = (values, q) => {
  const s = values.slice().sort((a, b) => a - b);
  return s[Math.min(s.length - 1, Math.floor(q * s.length))];
};
const ms = (v) => v.toFixed(1) + ' ms';

function transferSize() {
  let raw = 0, gz = 0;
  for (const f of PAGE_FILES) {
    const data = fs.readFileSync(path.join(WEB_DIR, f));
    raw += data.length;
    gz += zlib.gzipSync(data, { level: 9 }).length;
  }
  const rom = fs.readFileSync(path.join(WEB_DIR, 'ROMDATA.BIN'));
  console.log(`transfer size without ROMDATA.BIN: ${(gz / 1024).toFixed(1)} KiB gzip -9 (${(raw / 1024).toFixed(1)} KiB raw, ${PAGE_FILES.length} files)`);
  console.log(`ROMDATA.BIN: ${(zlib.gzipSync(rom, { level: 9 }).length / 1024).toFixed(1)} KiB gzip -9 (${(rom.length / 1024).toFixed(1)} KiB raw)`);
}

// Navigation to the first game frame on the canvas: a first visit, then one served by the
// service worker's copy.
async function firstFrame(browser, url) {
  const cold = [], warm = [];
  for (let i = 0; i < 5; i++) {
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(url);
    await page.evaluate(() => window.pixbrk.ready);
    await page.waitForFunction(() => window.pixbrk.firstFrameMs() > 0);
    cold.push(await page.evaluate(() => window.pixbrk.firstFrameMs()));
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.reload();
    await page.evaluate(() => window.pixbrk.ready);
    await page.waitForFunction(() => window.pixbrk.firstFrameMs() > 0);
    warm.push(await page.evaluate(() => window.pixbrk.firstFrameMs()));
    await context.close();
  }
  console.log(`navigation to first game frame: first visit median ${ms(quantile(cold, 0.5))} (${cold.map((v) => v.toFixed(0)).join(', ')}), ` +
    `from the offline copy median ${ms(quantile(warm, 0.5))} (${warm.map((v) => v.toFixed(0)).join(', ')})`);
}

// A game played with the mouse (the paddle kept under the ball) for the frame costs and the
// effect latencies.
async function play(browser, url) {
  const context = await browser.newContext({ viewport: { width: 1280, height: 1000 } });
  const page = await context.newPage();
  await page.goto(url);
  await page.evaluate(() => window.pixbrk.ready);
  const at = await screenMapper(page);
  const move = (vx, vy) => page.mouse.move(at(vx, vy).x, at(vx, vy).y);
  await move(120, 112);
  await page.mouse.down();
  await page.mouse.up();
  const end = Date.now() + playSeconds * 1000;
  let held = false;
  while (Date.now() < end) {
    const s = await page.evaluate(() => window.pixbrk.state());
    if (s.scene === 2 && s.game_over === 0) {
      await move(Math.max(8, Math.min(232, s.ball_x)), 290);
      if (!held) await page.mouse.down();  // held on, the game serves by itself
      held = true;
    } else {
      if (held) await page.mouse.up();
      held = false;
      await move(120, 112);  // through the ranking and back into a game
      await page.mouse.down();
      await page.mouse.up();
    }
    await page.waitForTimeout(30);
  }
  const costs = await page.evaluate(() => window.pixbrk.frameCosts());
  const sound = await page.evaluate(() => window.pixbrk.sound());
  const game = costs.map((c) => c[0]), all = costs.map((c) => c[1]);
  console.log(`per animation frame that runs the game, ${costs.length} frames:`);
  console.log(`  game frames, composition, canvas: median ${ms(quantile(game, 0.5))}, 99th percentile ${ms(quantile(game, 0.99))}, largest ${ms(Math.max(...game))}`);
  console.log(`  with the sound and the saved files: median ${ms(quantile(all, 0.5))}, 99th percentile ${ms(quantile(all, 0.99))}, largest ${ms(Math.max(...all))}`);
  if (sound.latencies.length > 0) {
    console.log(`effect heard after its frame: ${sound.latencies.length} effects, median ${ms(quantile(sound.latencies, 0.5))}, ` +
      `95th percentile ${ms(quantile(sound.latencies, 0.95))}, largest ${ms(Math.max(...sound.latencies))} ` +
      `(the browser's own output latency ${ms(sound.outputMs)}, ${sound.underrun} samples of underrun)`);
  } else {
    console.log('effect latency: no effect was heard');
  }
  await context.close();
}

const server = await startServer();
const browser = await launchBrowser();
try {
  transferSize();
  await firstFrame(browser, server.url);
  await play(browser, server.url);
} finally {
  await browser.close();
  await server.close();
}
