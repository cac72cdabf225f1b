// Measures the web page in each browser engine: its transfer size, the time from navigation to
// the first game frame, the cost of each animation frame that runs the game, how long after its
// frame an effect leaves for the device, and the audio's underruns.
//
//   (cd tests/web && npm ci) && node bench/web/page_bench.mjs [seconds of play, default 30] [engines]
//
// Engines: chromium,firefox,webkit by default. Uses the page in build/web (the web preset) and
// the browser-test helpers of tests/web (their sound server gives the browsers a sound device).
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { launch } from '../../tests/web/browsers.mjs';
import { WEB_DIR, screenMapper, sleep, startServer, startSoundServer } from '../../tests/web/support.mjs';

// What the service worker caches (its list, written by the build), itself, not ROMDATA.BIN.
const PAGE_FILES = fs.readFileSync(path.join(WEB_DIR, 'sw.js'), 'utf8').match(/const FILES = \[([^\]]*)\]/)[1]
  .split(',').map((f) => f.trim().slice(1, -1)).filter((f) => f !== './' && f !== 'ROMDATA.BIN').concat('sw.js');
const playSeconds = Number(process.argv[2] || 30);
const engines = (process.argv[3] || 'chromium,firefox,webkit').split(',');

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
    const page = await browser.newPage();
    await page.goto(url);
    await page.evaluate(() => window.pixbrk.ready);
    await page.waitFor(() => window.pixbrk.firstFrameMs() > 0);
    cold.push(await page.evaluate(() => window.pixbrk.firstFrameMs()));
    await page.waitFor(() => navigator.serviceWorker.controller !== null, null, 30000, 'the service worker');
    await page.reload();
    await page.evaluate(() => window.pixbrk.ready);
    await page.waitFor(() => window.pixbrk.firstFrameMs() > 0);
    warm.push(await page.evaluate(() => window.pixbrk.firstFrameMs()));
    await page.close();
  }
  console.log(`  navigation to first game frame: first visit median ${ms(quantile(cold, 0.5))} (${cold.map((v) => v.toFixed(0)).join(', ')}), ` +
    `from the offline copy median ${ms(quantile(warm, 0.5))} (${warm.map((v) => v.toFixed(0)).join(', ')})`);
}

// A game played with the mouse (the paddle kept under the ball) for the frame costs, the effect
// latencies and the underruns.
async function play(browser, url) {
  const page = await browser.newPage({ width: 1280, height: 1000 });
  await page.goto(url);
  await page.evaluate(() => window.pixbrk.ready);
  const at = await screenMapper(page);
  const move = (vx, vy) => page.mouse.move(at(vx, vy).x, at(vx, vy).y);
  const click = async () => {
    await page.mouse.down();
    await page.mouse.up();
  };
  await move(120, 112);
  await click();
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
      await click();
    }
    await sleep(30);
  }
  const costs = await page.evaluate(() => window.pixbrk.frameCosts());
  const sound = await page.evaluate(() => window.pixbrk.sound());
  // Asked once, at the end: Firefox can hang on it while it plays.
  const device = await Promise.race([page.evaluate(() => window.pixbrk.outputLatencyMs()), sleep(5000).then(() => null)]);
  const game = costs.map((c) => c[0]), all = costs.map((c) => c[1]);
  console.log(`  per animation frame that runs the game, ${costs.length} frames:`);
  console.log(`    game frames, composition, canvas: median ${ms(quantile(game, 0.5))}, 99th percentile ${ms(quantile(game, 0.99))}, largest ${ms(Math.max(...game))}`);
  console.log(`    with the sound and the saved files: median ${ms(quantile(all, 0.5))}, 99th percentile ${ms(quantile(all, 0.99))}, largest ${ms(Math.max(...all))}`);
  const lat = sound.latencies;
  console.log(lat.length === 0 ? '  effect latency: no effect was heard'
    : `  effect leaves for the device after its frame: ${lat.length} effects, median ${ms(quantile(lat, 0.5))}, ` +
      `95th percentile ${ms(quantile(lat, 0.95))}, largest ${ms(Math.max(...lat))}; the device's own latency ` +
      `${device === null ? 'not told' : ms(device)}; audio at ${sound.rate} Hz, ${ms(sound.lead / 22.05)} queued at the end`);
  console.log(`  audio underruns: ${sound.underrun} samples in all, ${sound.underrunSince} after the output's first 2 s`);
  await page.close();
}

const server = await startServer();
const pulse = await startSoundServer();
try {
  transferSize();
  for (const engine of engines) {
    console.log(engine + ':');
    const browser = await launch(engine);
    try {
      await firstFrame(browser, server.url);
      await play(browser, server.url);
    } finally {
      await browser.close();
    }
  }
} finally {
  pulse.stop();
  await server.close();
}
