// Measures the Hall of fame in the page against a local pixbrk-server: from the click on "Hall
// of fame" to its first board on screen, and from navigation to a `#watch=ID` link's first
// playback frame, a first visit and one from the offline copy.
//
//   (cd tests/web && npm ci) && node bench/web/hof_bench.mjs [runs, default 10] [engines]
//
// Engines: chromium,firefox,webkit by default. Uses the page in build/web and pixbrk-server in
// build/default, with a board of 60 names (50 entries a page, as the panel asks).
import fs from 'node:fs';
import path from 'node:path';
import { launch } from '../../tests/web/browsers.mjs';
import { ROOT, runLinux, sleep, startHofServer } from '../../tests/web/support.mjs';

const runs = Number(process.argv[2] || 10);
const engines = (process.argv[3] || 'chromium,firefox,webkit').split(',');
const median = (v) => v.slice().sort((a, b) => a - b)[Math.floor(v.length / 2)];
const line = (what, v) => console.log(`  ${what}: median ${median(v).toFixed(1)} ms, longest ${Math.max(...v).toFixed(1)} ms (${v.map((x) => x.toFixed(0)).join(', ')})`);

async function seedBoard(site) {
  const linux = runLinux(['--script', path.join(ROOT, 'tests/win/scripts/game_and_save.txt')]);
  const game = fs.readFileSync(path.join(linux.dir, 'PIXBRK01.REP'));
  let id = null;
  for (let i = 0; i < 60; i++) {
    const b = Buffer.from(game);
    b.write(String(i).padStart(2, '0'), 14, 'latin1');  // another minute: other bytes, the same game
    const r = await fetch(site.url + 'api/v1/submissions?name=' + encodeURIComponent('Player ' + i), { method: 'POST', body: b });
    id ||= (await r.json()).id;
  }
  for (;;) {
    const board = await (await fetch(site.url + 'api/v1/boards?guide=1&floor=1')).json();
    if (board.total === 60) return id;
    await sleep(100);
  }
}

// From the click to the first board shown (the panel marks it when its entries are in place).
async function panel(browser, site) {
  const page = await browser.newPage();
  await page.goto(site.url);
  await page.evaluate(() => window.pixbrk.ready);
  await page.waitFor(() => !document.getElementById('hof-button').hidden);
  const ms = await page.evaluate(() => new Promise((resolve) => {
    const dialog = document.getElementById('hof');
    let t0 = 0;
    new MutationObserver(() => resolve(performance.now() - t0)).observe(dialog, { attributeFilter: ['data-shown'] });
    t0 = performance.now();
    document.getElementById('hof-button').click();
  }));
  await page.close();
  return ms;
}

// From navigation to the first frame of the linked game's playback; then the same from the
// offline copy.
async function watchLink(browser, site, id) {
  const page = await browser.newPage();
  const first = async () => {
    await page.evaluate(() => window.pixbrk.ready);
    return page.waitFor(() => window.pixbrk.watching().firstFrameMs, null, 20000, 'the first playback frame');
  };
  await page.goto(site.url + '#watch=' + id);
  const cold = await first();
  await page.waitFor(() => navigator.serviceWorker.controller !== null, null, 30000, 'the service worker');
  await page.reload();  // the link is the page's address until its playback is over
  const warm = await first();
  await page.close();
  return [cold, warm];
}

const site = await startHofServer();
try {
  const id = await seedBoard(site);
  for (const engine of engines) {
    const browser = await launch(engine);
    try {
      console.log(engine);
      const clicks = [], cold = [], warm = [];
      for (let i = 0; i < runs; i++) clicks.push(await panel(browser, site));
      line(`click on "Hall of fame" to its first board shown (goal 300 ms)`, clicks);
      for (let i = 0; i < Math.min(runs, 5); i++) {
        const [c, w] = await watchLink(browser, site, id);
        cold.push(c);
        warm.push(w);
      }
      line('a #watch link: navigation to the first playback frame, first visit (goal 1 s)', cold);
      line('the same from the offline copy', warm);
    } finally {
      await browser.close();
    }
  }
} finally {
  await site.stop();
}
process.exit(0);
