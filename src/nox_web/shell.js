// The page around the game, its start-up: loads the code and ROMDATA.BIN, restores the saved
// files, then hands the game its picture, input, sound and files (the modules beside this one).
// The game itself runs in pixbrk.wasm (host.cpp).
//
// index.html?test starts no game: window.pixbrk.run(script, traceEvery) then runs a touch
// script exactly as `pixbrk-headless --script` does and returns {summary, trace}.
import { startHof } from './hof.js';
import { $, api, fail, failed, notice, started } from './page.js';
import { watchInput } from './input.js';
import { currentScale, firstFrameAt, present, watchLayout } from './layout.js';
import { watchReplays } from './replays.js';
import { outputLatencyMs, soundFeed, soundPush, soundStats, soundWanted } from './sound.js';
import { SAVE_DIR, makeLogDevice, store } from './storage.js';

const ROM_PATH = '/rom/ROMDATA.BIN';     // as in web.h
const TRACE_PATH = '/run/trace.jsonl';
const testMode = new URLSearchParams(location.search).has('test');
let mod = null;

function loadRom() {
  return fetch('ROMDATA.BIN').then((r) => {
    if (!r.ok) throw new Error('ROMDATA.BIN could not be loaded (HTTP ' + r.status + ' ' + r.statusText + ').');
    return r.arrayBuffer();
  }, (e) => {
    throw new Error('ROMDATA.BIN could not be loaded (' + e.message + ').');
  });
}

// The game's code (pixbrk.js, loaded by the page); in test mode the runner's (pixbrk_test.js).
function loadCode() {
  const loaded = testMode ? new Promise((resolve) => {
    const script = document.createElement('script');
    script.src = 'pixbrk_test.js';
    script.onload = script.onerror = resolve;
    document.head.append(script);
  }) : Promise.resolve();
  return loaded.then(() => {
    const create = testMode ? window.createPixbrkTest : window.createPixbrk;
    if (typeof create !== 'function') throw new Error('The game\'s code could not be loaded.');
    // The code's own defaults send its output to the console (console.log, console.warn).
    return create().catch((e) => {
      throw new Error('The game\'s code could not be started (' + (e && e.message || e) + ').');
    });
  });
}

function startTestMode() {
  api.run = (script, traceEvery) => {
    const p = mod.allocateUTF8(script);
    const answer = mod.UTF8ToString(mod._web_test_run(p, traceEvery | 0));
    mod._free(p);
    if (answer.startsWith('error ')) throw new Error(answer.slice(6));
    const trace = (traceEvery | 0) > 0 ? mod.FS.readFile(TRACE_PATH, { encoding: 'utf8' }) : '';
    return { summary: answer.slice(3), trace };
  };
  $('loading').textContent = 'Test mode: window.pixbrk.run(script, traceEvery)';
  started();
}

function startGame(storeError) {
  const FS = mod.FS;
  makeLogDevice(FS);
  const rc = mod._web_start();
  if (rc !== 0) {
    const why = mod.UTF8ToString(mod._web_start_reason());
    throw new Error(rc === 1
      ? 'ROMDATA.BIN is broken: the game cannot read it. (' + why + ')'
      : 'ROMDATA.BIN lacks a picture or a sound the game needs. (' + why + ')');
  }
  mod.pixbrkPage = {
    present: (address) => present(mod, address),
    soundWanted,
    soundPush,
    framesDone: () => store.check(FS),
    stopped: () => fail('The game has stopped. Reload the page to play again.'),
  };
  soundFeed(() => mod._web_sound_feed());
  if (storeError) {
    notice('Saving is off: this browser refuses storage here (' + (storeError.message || storeError.name) +
      '). You can play, but the ranking, settings and replays are not kept.');
  }
  $('bar').hidden = false;
  watchLayout();
  watchInput(mod);
  watchReplays(mod);
  startHof(mod, api);
  api.frames = () => mod._web_frames();
  api.framesGivenUp = () => mod._web_frames_given_up();
  api.stalls = () => mod._web_stalls();
  api.unsaved = () => (store.db ? store.changes(FS).count : -1);  // files not kept yet; -1 without storage
  api.state = () => JSON.parse(mod.UTF8ToString(mod._web_state()));
  api.scale = currentScale;
  api.firstFrameMs = firstFrameAt;
  // [game frames, composition and canvas; all of the frame's work] in ms, per animation frame
  api.frameCosts = () => {
    const count = mod._web_frame_cost_count();
    const p = mod._web_frame_costs() >> 2;
    const out = [];
    for (let i = Math.max(0, count - 4096); i < count; i++) {
      out.push([mod.HEAPF32[p + 2 * (i % 4096)], mod.HEAPF32[p + 2 * (i % 4096) + 1]]);
    }
    return out;
  };
  api.sound = soundStats;
  api.outputLatencyMs = outputLatencyMs;
  if ('serviceWorker' in navigator) {
    navigator.serviceWorker.register('sw.js').catch((e) => console.warn('PIXEL BREAKER: no offline copy: ' + e));
  }
  return (storeError ? Promise.resolve() : store.warnIfClearable()).then(started);
}

function start() {
  if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
    fail('This browser cannot run PIXEL BREAKER: it has no WebAssembly. A current Firefox, Chrome, Edge or Safari can.');
    failed(new Error('no WebAssembly'));
    return;
  }
  const storeOpened = testMode ? Promise.resolve(null) : store.open();
  Promise.all([loadCode(), loadRom(), storeOpened]).then(([m, rom, storeError]) => {
    mod = m;
    const FS = mod.FS;
    FS.mkdir('/rom');
    FS.writeFile(ROM_PATH, new Uint8Array(rom));
    if (testMode) return startTestMode();
    FS.mkdir(SAVE_DIR);
    return (storeError ? Promise.resolve(storeError) : store.restore(FS)).then((restoreError) => {
      if (restoreError) store.db = null;
      return startGame(storeError || restoreError);
    });
  }).catch((e) => {
    fail(e.message || String(e));
    failed(e);
  });
}

start();
