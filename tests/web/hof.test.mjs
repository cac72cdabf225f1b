// The Hall of fame in the page, against a real pixbrk-server (SQLite, started here on 127.0.0.1,
// serving the built page): boards, games submitted from a slot and after a game, the outbox
// across a server outage and a reload, watching by link exactly as the Linux runner plays the
// replay, the player's own recording kept through a watch, names shown only as text, and the
// page without the API. One description; the engine is a parameter (browsers.mjs).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { ENGINES, launch } from './browsers.mjs';
import { ROOT, runLinux, sleep, startHofServer, startServer, tap, tempDir, waitState } from './support.mjs';

const atTitle = (s) => s.scene === 0 || s.scene === 6;
let site, game, seeded, minute = 0;

// The runner's game with the guide and the floor on (260 points, 738 frames), and copies that
// play alike: another minute in the date (never the game's own, which the clock gave it), or
// another score in the header.
function variant({ score } = {}) {
  const b = Buffer.from(game);
  const own = Number(game.toString('latin1', 14, 16));
  b.write(String((own + 1 + (minute++ % 59)) % 60).padStart(2, '0'), 14, 'latin1');
  if (score !== undefined) b.writeUInt32LE(score / 10, 20);  // the header counts tens of points
  const file = path.join(tempDir('variant'), 'PIXBRK01.REP');
  fs.writeFileSync(file, b);
  return file;
}

before(async () => {
  const linux = runLinux(['--script', path.join(ROOT, 'tests/win/scripts/game_and_save.txt')]);
  game = fs.readFileSync(path.join(linux.dir, 'PIXBRK01.REP'));
  site = await startHofServer();
  const r = await fetch(site.url + 'api/v1/submissions?name=Ann%20Lee', { method: 'POST', body: game });
  seeded = (await r.json()).id;
  for (let i = 0; ; i++) {
    const s = await (await fetch(site.url + 'api/v1/submissions/' + seeded)).json();
    if (s.status === 'verified') break;
    assert.ok(i < 200 && s.status === 'pending', JSON.stringify(s));
    await sleep(50);
  }
});
after(() => site && site.stop());

async function openPage(browser, options = {}, url = site.url) {
  const page = await browser.newPage(options);
  await page.goto(url);
  await page.evaluate(() => window.pixbrk.ready);
  if (await page.evaluate(() => !document.getElementById('notice').hidden)) await page.click('#notice');
  return page;
}

async function done(page) {
  const errors = await page.errors();
  await page.close();
  assert.deepEqual(errors, [], 'page errors');
}

const text = (page, selector) => page.evaluate((s) => [...document.querySelectorAll(s)].map((e) => e.textContent), selector);
const setName = (page, name) => page.evaluate((n) => {
  const input = document.getElementById('hof-name');
  input.value = n;
  input.dispatchEvent(new Event('change'));
}, name);
// The newest submission's state as the panel shows it, once it matches `pattern`.
const outboxState = (page, pattern, timeoutMs = 20000) => page.waitFor((p) => {
  const s = document.querySelector('#hof-outbox li .state');
  return s && new RegExp(p).test(s.textContent) && s.textContent;
}, pattern.source, timeoutMs, 'the outbox to show ' + pattern);
const chooseBoard = (page, value) => page.evaluate((v) => {
  const select = document.getElementById('hof-board');
  select.value = v;
  select.dispatchEvent(new Event('change'));
}, value);
const boardNames = async (page) => {
  await page.waitFor(() => /\d+\u2013\d+ of \d+|No verified/.test(document.getElementById('hof-range').textContent));
  return text(page, '#hof-entries .name');
};

// Puts a replay file into a slot with the Replays dialog, then submits it from there as `name`.
async function submitFromSlot(page, slot, file, name) {
  await page.click('#replays-button');
  await page.chooseFile(() => page.click(`#slots li:nth-child(${slot}) button:last-child`), file);
  await page.waitFor((s) => /is in slot \d+ now/.test(document.getElementById('replays-message').textContent), slot);
  await page.click(`#slots li:nth-child(${slot}) button:nth-child(3)`);  // Download, Submit..., Open...
  await page.waitFor(() => document.getElementById('hof').open);
  await setName(page, name);
  assert.match((await text(page, '#hof-targets button'))[0], new RegExp(`^Submit slot ${slot} \\(2[67]0 points\\)`));
  await page.click('#hof-targets button');
}

for (const engine of ENGINES) {
  describe(engine, () => {
    let browser;
    before(async () => { browser = await launch(engine); });
    after(() => browser && browser.close());

    test('boards, a game submitted from a slot verified under its name, a tampered one\'s reason, names only as text', { timeout: 120000 }, async () => {
      const page = await openPage(browser);
      await page.waitFor(() => !document.getElementById('hof-button').hidden, null, 10000, 'the Hall of fame button');
      await page.click('#hof-button');
      await chooseBoard(page, '1,1');
      assert.ok((await boardNames(page)).includes('Ann Lee'));
      assert.match((await text(page, '#hof-own'))[0], /Give your name/);
      await page.click('#hof button[type=submit]');

      const name = `Bea ${engine}`;
      await submitFromSlot(page, 1, variant(), name);
      const verified = await outboxState(page, /^verified: place \d+/);
      await chooseBoard(page, '1,1');
      { const n = await boardNames(page); assert.ok(n.includes(name), 'not on its board: ' + JSON.stringify([n, await text(page, '#hof-range'), verified])); }
      assert.match((await text(page, '#hof-own'))[0], new RegExp(`^Your best:.*${name}`));
      assert.match(verified, /place 1\b/, 'the same score as the first shares its place');

      // The name's token came with its first submission: the next one under it is taken too,
      // and a tampered score is rejected with the reason in words.
      await page.click('#hof button[type=submit]');
      await submitFromSlot(page, 2, variant({ score: 270 }), name);
      assert.match(await outboxState(page, /^rejected/),
        /^rejected: the score in the file is not the one the game reaches: the game ended with 260, its header says 270/);

      // The link to a game; names with markup (which the server refuses) would still be text.
      await page.click('#hof-entries li:first-child button:last-child');
      await page.waitFor(() => /#watch=[0-9a-f]{32}$/.test(document.getElementById('hof-message').textContent));
      assert.match((await text(page, '#hof-message'))[0], new RegExp(`${site.url.replace(/\./g, '\\.')}#watch=[0-9a-f]{32}$`));
      await page.evaluate(() => {
        const real = window.fetch;
        window.fetch = (url, o) => (/\/boards\?/.test(url)
          ? Promise.resolve(new Response(JSON.stringify({ entries: [{ rank: 1, name: '<img id=evil src=x>', score: 1, id: '0'.repeat(32), date: '2026/01/01 00:00', frames: 60 }], total: 1 })))
          : real(url, o));
      });
      await page.click('#hof-periods button:first-child');
      await page.waitFor(() => document.querySelector('#hof-entries .name')?.textContent === '<img id=evil src=x>');
      assert.equal(await page.evaluate(() => document.getElementById('evil')), null);
      await done(page);
    });

    test('outbox: a submission made while the server is down survives a reload and is sent when it returns', { timeout: 120000 }, async () => {
      const page = await openPage(browser);
      await page.waitFor(() => navigator.serviceWorker.controller !== null, null, 30000, 'the service worker');
      await page.waitFor(() => !document.getElementById('hof-button').hidden);
      const name = `Cy ${engine}`;
      await site.stop();
      try {
        await submitFromSlot(page, 1, variant(), name);
        await outboxState(page, /^waiting to be sent \(the Hall of fame cannot be reached; next try in \d+ s\)/);
        await page.reload();  // the offline copy
        await page.evaluate(() => window.pixbrk.ready);
        await page.waitFor(() => !document.getElementById('hof-button').hidden);
        await page.click('#hof-button');
        await outboxState(page, /^waiting to be sent/);
        assert.match((await text(page, '#hof-outbox li .what'))[0], new RegExp(`^slot 1, 260 points, guide on, floor on, as ${name}$`));
      } finally {
        site = await startHofServer({ data: site.data, port: site.port });
      }
      await outboxState(page, /^verified: place \d+/, 60000);
      await chooseBoard(page, '1,1');
      assert.ok((await boardNames(page)).includes(name));
      await done(page);
    });

    test('#watch=ID on a phone plays the ranked game exactly as the runner\'s --replay, then the title menu', { timeout: 120000 }, async () => {
      const file = path.join(tempDir('watch'), 'game.rep');
      fs.writeFileSync(file, game);
      const linux = runLinux(['--replay', file, '--trace', 'trace.jsonl']);
      const withoutFrame = (line) => line.replace(/^\{"frame":\d+,/, '{');
      const trace = fs.readFileSync(path.join(linux.dir, 'trace.jsonl'), 'utf8').trim().split('\n').map(withoutFrame);

      const page = await openPage(browser, { width: 390, height: 844, dpr: 3, touch: true }, site.url + '#watch=' + seeded);
      let compared = 0, last = null;
      for (const end = Date.now() + 60000; ;) {
        const [line, w] = await page.evaluate(() => [JSON.stringify(window.pixbrk.state()), window.pixbrk.watching()]);
        const k = JSON.parse(line).frame - 1 - w.from;
        if (w.from >= 0 && k >= 0 && k < trace.length) {
          assert.equal(withoutFrame(line), trace[k], `playback frame ${k}`);
          compared++;
        }
        last = w;
        if (w.from >= 0 && !w.watching) break;
        assert.ok(Date.now() < end, 'the playback does not end');
        await sleep(20);
      }
      assert.ok(compared >= 100, `only ${compared} states compared`);
      assert.equal(last.score, (await (await fetch(site.url + 'api/v1/submissions/' + seeded)).json()).score);
      await waitState(page, (s) => atTitle(s) && s.playback === 0, 'the title menu');
      await page.waitFor(() => location.hash === '', null, 5000, 'the watch link to be done');

      // The panel fits the phone's width and its height scrolls inside it.
      await page.click('#hof-button');
      await chooseBoard(page, '1,1');
      await boardNames(page);
      const fit = await page.evaluate(() => {
        const d = document.getElementById('hof');
        const r = d.getBoundingClientRect();
        return { left: r.left, right: r.right, top: r.top, bottom: r.bottom, overflow: d.scrollWidth - d.clientWidth, w: innerWidth, h: innerHeight };
      });
      assert.ok(fit.left >= 0 && fit.right <= fit.w && fit.top >= 0 && fit.bottom <= fit.h && fit.overflow <= 0, JSON.stringify(fit));
      await done(page);
    });

    test('the player\'s own game survives watching another, then "Submit this game" ranks it', { timeout: 180000 }, async () => {
      const page = await openPage(browser);
      await page.waitFor(() => !document.getElementById('hof-button').hidden);
      // A short game: the ball served from the far left, the paddle left there until it is lost.
      await tap(page, 120, 112, (s) => s.scene === 1 || s.scene === 2, 'GAME START');
      await waitState(page, (s) => s.scene === 2, 'the round');
      await tap(page, 10, 290, (s) => s.ball_vy !== 0, 'the serve');
      const over = await waitState(page, (s) => s.scene === 5, 'the end of the game', 90000);
      await tap(page, 120, 300, atTitle, 'the title menu');
      await page.waitFor(() => !document.getElementById('submit-button').hidden, null, 5000, '"Submit this game" on the bar');
      const mine = await page.evaluate(() => window.pixbrk.recording());

      await page.click('#hof-button');
      await chooseBoard(page, '1,1');
      await boardNames(page);
      await page.click('#hof-entries li:first-child button');  // Watch
      await page.waitFor(() => window.pixbrk.watching().watching, null, 10000, 'the playback');
      assert.equal((await page.evaluate(() => window.pixbrk.state())).playback, 1);
      await page.waitFor(() => !window.pixbrk.watching().watching, null, 60000, 'the end of the playback');
      await waitState(page, atTitle, 'the title menu');
      assert.deepEqual(await page.evaluate(() => window.pixbrk.recording()), mine, 'the recording is not the one before');

      await page.click('#submit-button');
      const name = `Dee ${engine}`;
      await setName(page, name);
      assert.match((await text(page, '#hof-targets button'))[0], /^Submit this game/);
      await page.click('#hof-targets button');
      await outboxState(page, /^verified: place \d+/);
      await chooseBoard(page, '0,0');
      assert.ok((await boardNames(page)).includes(name));
      const entry = await page.evaluate((n) => [...document.querySelectorAll('#hof-entries li')]
        .find((li) => li.querySelector('.name').textContent === n).querySelector('.score').textContent, name);
      assert.equal(entry, `${(over.score * 10).toLocaleString('en-US')} points`);
      await page.waitFor(() => document.getElementById('submit-button').hidden, null, 5000, 'the bar to drop a game sent');
      await done(page);
    });

    test('served without the API: no Hall of fame, one request for it, no inline script runs', { timeout: 60000 }, async () => {
      const plain = await startServer();
      try {
        const page = await browser.newPage();
        await page.goto(plain.url + '#watch=' + '0'.repeat(32));
        await page.waitFor(() => /has no Hall of fame/.test(document.getElementById('notice').textContent), null, 10000, 'the notice');
        await page.waitFor(() => window.pixbrk.frames() > 120);
        assert.deepEqual(await page.evaluate(() => ['hof-button', 'submit-button'].map((id) => document.getElementById(id).hidden)), [true, true]);
        const fetched = await page.evaluate(() => performance.getEntriesByType('resource')
          .filter((e) => e.initiatorType === 'fetch').map((e) => e.name.replace(location.origin, '')).sort());
        assert.deepEqual(fetched.filter((f) => f === '/' || f.includes('api')), ['/'], fetched.join(' '));
        // The page's policy: a script put in as text does not run, and is reported.
        const ran = await page.evaluate(() => {
          const s = document.createElement('script');
          s.textContent = 'window.inlineRan = true';
          document.head.append(s);
          return new Promise((r) => setTimeout(() => r(window.inlineRan === true), 200));
        });
        assert.equal(ran, false);
        const errors = await page.errors();
        await page.close();
        assert.deepEqual(errors.map((e) => e.replace(/script-src(-elem)? /, '')), ['refused by the policy: inline']);
      } finally {
        await plain.close();
      }
    });
  });
}
