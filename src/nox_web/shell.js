// The page around the game: loads the code and ROMDATA.BIN, keeps the saved files in the
// browser's storage, sizes the screen, passes pointer and key events on, plays the sound, and
// offers the replays for download and upload. The game itself runs in pixbrk.wasm (host.cpp).
//
// index.html?test starts no game: window.pixbrk.run(script, traceEvery) then runs a touch
// script exactly as `pixbrk-headless --script` does and returns {summary, trace}.
'use strict';

(() => {
  const W = 240, H = 320;                  // the game's screen
  const CLIENT_W = 480, CLIENT_H = 640;    // the client area its pointer positions are given in
  const ROM_PATH = '/rom/ROMDATA.BIN';     // as in web.h
  const SAVE_DIR = '/save';
  const TRACE_PATH = '/run/trace.jsonl';
  const SAVED = /^(SCORE\.DAT|PIXBRK(0[1-9]|1[0-6])\.REP)$/;
  const REPLAY_MAX_BYTES = 32 + 12 * 131072;
  const EV_MOVE = 0, EV_DOWN = 1, EV_UP = 2, EV_LEAVE = 3, EV_ESCAPE = 4;
  const SOUND_RATE = 22050;
  const SOUND_LEAD_S = 1 / 60 + 0.010;     // queued ahead: one display frame and a margin
  const SOUND_START_MS = 1000;             // the mixer waits this long for the output to start
  const ONSET_SILENCE = 2048;              // as in audio.js

  const $ = (id) => document.getElementById(id);
  const canvas = $('screen');
  const testMode = new URLSearchParams(location.search).has('test');
  const logLines = [];
  let mod = null;

  function fail(text) {
    const box = $('failure');
    box.textContent = text;
    box.hidden = false;
    $('loading').hidden = true;
    canvas.classList.remove('running');
    console.error('PIXEL BREAKER: ' + text);
  }

  let noticeTimer = 0;
  function notice(text, seconds) {
    const box = $('notice');
    box.textContent = text + ' (Tap to close.)';
    box.hidden = false;
    box.onclick = () => { box.hidden = true; };
    clearTimeout(noticeTimer);
    if (seconds) noticeTimer = setTimeout(() => { box.hidden = true; }, seconds * 1000);
  }

  // What tests and measurements read; `ready` settles once the game runs (or has failed).
  let settle;
  const api = { ready: new Promise((resolve, reject) => { settle = { resolve, reject }; }) };
  api.ready.catch(() => {});
  window.pixbrk = api;

  // --- files -----------------------------------------------------------------------------------

  // LOG.TXT is a device whose lines go to the console.
  function makeLogDevice(FS) {
    let line = [];
    FS.createDevice(SAVE_DIR, 'LOG.TXT', null, (byte) => {
      if (byte !== 10) {
        line.push(byte);
        return;
      }
      const text = new TextDecoder().decode(new Uint8Array(line));
      line = [];
      logLines.push(text);
      console.log('LOG.TXT: ' + text);
    });
  }

  // SCORE.DAT and the replays live in IndexedDB, one record per file. Whatever the game has saved
  // in a frame goes into one transaction, so a file there is always whole: a tab closed while it
  // runs leaves the previous version.
  const store = {
    db: null,
    kept: new Map(),     // name -> signature of the version in the database
    busy: false,
    failedAt: '',        // the file state whose saving failed; tried again once it changes

    open() {
      return new Promise((resolve) => {
        let settled = false;
        const settle = (error, db) => {
          if (settled) {
            if (db) db.close();
            return;
          }
          settled = true;
          clearTimeout(timer);
          this.db = db || null;
          resolve(error);
        };
        const timer = setTimeout(() => settle(new Error('no answer from IndexedDB')), 5000);
        let req;
        try {
          req = indexedDB.open('pixbrk', 1);
        } catch (e) {
          settle(e);
          return;
        }
        req.onupgradeneeded = () => req.result.createObjectStore('files');
        req.onsuccess = () => settle(null, req.result);
        req.onerror = (e) => {
          e.preventDefault();
          settle(req.error || new Error('IndexedDB refused'));
        };
        req.onblocked = () => settle(new Error('IndexedDB is blocked by another tab'));
      });
    },

    // Puts every kept file into the save directory.
    restore(FS) {
      return new Promise((resolve) => {
        let tx, keys, values;
        try {
          tx = this.db.transaction('files', 'readonly');
          keys = tx.objectStore('files').getAllKeys();
          values = tx.objectStore('files').getAll();
        } catch (e) {
          resolve(e);
          return;
        }
        tx.oncomplete = () => {
          keys.result.forEach((name, i) => {
            if (!SAVED.test(name)) return;
            FS.writeFile(SAVE_DIR + '/' + name, values.result[i]);
          });
          this.kept = this.scan(FS);
          resolve(null);
        };
        tx.onerror = tx.onabort = () => resolve(tx.error || new Error('reading failed'));
      });
    },

    scan(FS) {
      const now = new Map();
      for (const name of FS.readdir(SAVE_DIR)) {
        if (!SAVED.test(name)) continue;
        const st = FS.stat(SAVE_DIR + '/' + name);
        now.set(name, st.ino + '/' + st.mtime.getTime() + '/' + st.size);
      }
      return now;
    },

    // Called after every batch of frames: keeps what the game has saved or removed since.
    check(FS) {
      if (!this.db || this.busy) return;
      const now = this.scan(FS);
      const changed = [...now.keys()].filter((n) => this.kept.get(n) !== now.get(n));
      const removed = [...this.kept.keys()].filter((n) => !now.has(n));
      if (changed.length === 0 && removed.length === 0) return;
      const state = [...now].join();
      if (state === this.failedAt) return;
      let tx;
      try {
        tx = this.db.transaction('files', 'readwrite');
        const files = tx.objectStore('files');
        for (const n of changed) files.put(FS.readFile(SAVE_DIR + '/' + n), n);
        for (const n of removed) files.delete(n);
      } catch (e) {
        // Nothing of a save that could not be stored whole is kept.
        if (tx) tx.abort();
        this.failed(e, state);
        return;
      }
      this.busy = true;
      tx.oncomplete = () => {
        this.busy = false;
        this.kept = now;
        this.failedAt = '';
        this.check(FS);
      };
      tx.onabort = () => {
        this.busy = false;
        this.failed(tx.error, state);
      };
    },

    failed(error, state) {
      this.failedAt = state;
      const full = error && error.name === 'QuotaExceededError';
      notice(full
        ? 'The browser\'s storage is full: the latest ranking, settings or replay was not kept.'
        : 'Saving failed (' + (error ? error.message || error.name : 'unknown error') + '): the latest ranking, settings or replay was not kept.');
    },
  };

  // --- picture ---------------------------------------------------------------------------------

  const ctx2d = canvas.getContext('2d', { alpha: false });
  let image = null;  // the picture in the game's memory, seen as canvas pixels
  let scale = 1;
  let firstFrameMs = 0;

  function present(address) {
    if (!image || image.data.buffer !== mod.HEAPU8.buffer || image.address !== address) {
      image = new ImageData(new Uint8ClampedArray(mod.HEAPU8.buffer, address, W * H * 4), W, H);
      image.address = address;
    }
    ctx2d.putImageData(image, 0, 0);
    if (firstFrameMs === 0) {
      firstFrameMs = performance.now();
      $('loading').hidden = true;
      canvas.classList.add('running');
    }
  }

  // The largest whole scale at which the screen fits, counted in physical pixels, placed on
  // whole physical pixels, so that each virtual pixel is a sharp N x N block. The canvas is
  // scaled by a transform: a CSS size of N * 320 / ratio pixels would be rounded to 1/64 px
  // and stretch some rows by one physical pixel.
  function layout() {
    const dpr = window.devicePixelRatio || 1;
    const pw = Math.floor(window.innerWidth * dpr);
    const ph = Math.floor(window.innerHeight * dpr);
    scale = Math.max(1, Math.floor(Math.min(pw / W, ph / H)));
    const left = Math.floor((pw - W * scale) / 2) / dpr;
    const top = Math.floor((ph - H * scale) / 2) / dpr;
    canvas.style.transform = 'matrix(' + [scale / dpr, 0, 0, scale / dpr, left, top].join(',') + ')';
    const bar = $('bar').getBoundingClientRect();
    const box = canvas.getBoundingClientRect();
    $('bar').classList.toggle('over', bar.left < box.right && bar.bottom > box.top);
  }

  function watchLayout() {
    layout();
    window.addEventListener('resize', layout);
    // Zooming and moving to another display change the pixel ratio, not always the size.
    const watchRatio = () => {
      const q = matchMedia('(resolution: ' + (window.devicePixelRatio || 1) + 'dppx)');
      q.addEventListener('change', () => {
        layout();
        watchRatio();
      }, { once: true });
    };
    watchRatio();
    const button = $('fullscreen-button');
    if (document.fullscreenEnabled) {
      button.hidden = false;
      button.addEventListener('click', () => {
        if (document.fullscreenElement) document.exitFullscreen();
        else document.documentElement.requestFullscreen({ navigationUI: 'hide' }).catch(() => {});
      });
      document.addEventListener('fullscreenchange', () => {
        button.textContent = document.fullscreenElement ? 'Exit fullscreen' : 'Fullscreen';
        layout();
      });
    }
  }

  // --- input -----------------------------------------------------------------------------------

  function send(kind, e) {
    let x = 0, y = 0;
    if (e) {
      const r = canvas.getBoundingClientRect();
      x = Math.floor((e.clientX - r.left) * CLIENT_W / r.width);
      y = Math.floor((e.clientY - r.top) * CLIENT_H / r.height);
    }
    mod._web_event(kind, x, y);
  }

  // Only the primary pointer plays, and a mouse only with its main button. A touch keeps the
  // pointer while the finger stays down, also outside the screen; a mouse that leaves the screen
  // lets go of it, as the desktop window does.
  function watchInput() {
    const ours = (e) => e.isPrimary && (e.pointerType !== 'mouse' || e.button === 0);
    canvas.addEventListener('pointerdown', (e) => {
      if (!ours(e)) return;
      e.preventDefault();
      startSound();
      send(EV_MOVE, e);
      send(EV_DOWN);
    });
    canvas.addEventListener('pointermove', (e) => {
      if (e.isPrimary) send(EV_MOVE, e);
    });
    canvas.addEventListener('pointerup', (e) => {
      if (!ours(e)) return;
      startSound();
      send(EV_MOVE, e);
      send(EV_UP);
    });
    canvas.addEventListener('pointercancel', (e) => {
      if (e.isPrimary) send(EV_LEAVE);
    });
    canvas.addEventListener('pointerleave', (e) => {
      if (e.isPrimary) send(EV_LEAVE);
    });
    canvas.addEventListener('contextmenu', (e) => e.preventDefault());
    document.addEventListener('touchmove', (e) => {
      if (!e.target.closest('dialog')) e.preventDefault();
    }, { passive: false });
    document.addEventListener('gesturestart', (e) => e.preventDefault());
    // Escape back to the title menu; not the Escape that closes the replays dialog.
    let escapeTaken = false;
    $('replays').addEventListener('cancel', () => { escapeTaken = true; });
    window.addEventListener('keydown', (e) => {
      if (e.key !== 'Escape') startSound();
    });
    window.addEventListener('keyup', (e) => {
      if (e.key !== 'Escape') return;
      if (escapeTaken || $('replays').open) {
        escapeTaken = false;
        return;
      }
      send(EV_ESCAPE);
    });
  }

  // --- sound -----------------------------------------------------------------------------------

  // Browsers start sound only after the player has touched the page; until then the game plays
  // silently (host.cpp keeps the mixer going by the clock).
  const sound = {
    ctx: null, node: null, startMs: 0, sent: 0, report: null, quiet: ONSET_SILENCE,
    onsets: new Map(), latencies: [], frameMs: 0,
  };

  function startSound() {
    if (sound.ctx) {
      if (sound.ctx.state === 'suspended' && !document.hidden) sound.ctx.resume();
      return;
    }
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context || !window.AudioWorkletNode) {
      sound.ctx = { state: 'none' };
      notice('This browser has no Web Audio worklets: the game plays without sound.', 8);
      return;
    }
    try {
      // The smallest output buffer the device allows: an effect is heard soon after its frame.
      sound.ctx = new Context({ sampleRate: SOUND_RATE, latencyHint: 0 });
      sound.startMs = performance.now();
    } catch (e) {
      sound.ctx = { state: 'none' };
      notice('Sound could not be started (' + e.message + '): the game plays without sound.', 8);
      return;
    }
    const ctx = sound.ctx;
    ctx.audioWorklet.addModule('audio.js').then(() => {
      const node = new AudioWorkletNode(ctx, 'pixbrk-output',
        { numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [1] });
      node.port.onmessage = (e) => soundReport(e.data);
      node.connect(ctx.destination);
      sound.node = node;
      if (ctx.state !== 'running') ctx.resume();
    }).catch((e) => console.warn('PIXEL BREAKER: no sound: ' + e));
    document.addEventListener('visibilitychange', () => {
      if (document.hidden) ctx.suspend();
      else ctx.resume();
    });
  }

  function soundReport(m) {
    if (m.onset === undefined) {
      sound.report = m;
      return;
    }
    // A sound that began after silence: how long after the frame that asked for it it is heard.
    const frameMs = sound.onsets.get(m.onset);
    if (frameMs === undefined) return;
    sound.onsets.delete(m.onset);
    const ctx = sound.ctx;
    const ts = ctx.getOutputTimestamp ? ctx.getOutputTimestamp() : null;
    let heardMs;
    if (ts && ts.performanceTime > 0) {
      heardMs = ts.performanceTime + (m.time - ts.contextTime) * 1000;
    } else {
      heardMs = performance.now() + (m.time - ctx.currentTime + (ctx.baseLatency || 0) + (ctx.outputLatency || 0)) * 1000;
    }
    sound.latencies.push(heardMs - frameMs);
    if (sound.latencies.length > 1000) sound.latencies.shift();
  }

  // Bytes the output wants: what keeps SOUND_LEAD_S queued; -1 while there is no output. While
  // the output is starting the mixer waits, so that the effect of the first tap is heard.
  // frameMs, when the animation frame that ran the game began, is where an effect's delay counts from.
  function soundWanted(frameMs) {
    const ctx = sound.ctx;
    sound.frameMs = frameMs;
    if (!sound.node || ctx.state !== 'running') {
      return ctx && ctx.state !== 'none' && performance.now() - sound.startMs < SOUND_START_MS ? 0 : -1;
    }
    let played = 0;
    if (sound.report) {
      played = sound.report.played + Math.max(0, ctx.currentTime - sound.report.time) * SOUND_RATE;
    }
    const queued = Math.max(0, sound.sent - played);
    return Math.max(0, Math.ceil(SOUND_LEAD_S * SOUND_RATE - queued)) * 2;
  }

  function soundPush(samples) {
    for (let i = 0; i < samples.length; i++) {
      if (samples[i] === 0) {
        sound.quiet++;
        continue;
      }
      if (sound.quiet >= ONSET_SILENCE) {
        if (sound.onsets.size > 64) sound.onsets.clear();  // reports lost with a stopped output
        sound.onsets.set(sound.sent + i, sound.frameMs);
      }
      sound.quiet = 0;
    }
    sound.sent += samples.length;
    sound.node.port.postMessage(samples, [samples.buffer]);
  }

  // --- replays outside the game ----------------------------------------------------------------

  const slotName = (slot) => 'PIXBRK' + String(slot).padStart(2, '0') + '.REP';
  let pendingFile = null;  // a file dropped onto the page, waiting for a slot
  const replaysHint = $('replays-hint').textContent;  // the page's own, shown without a dropped file

  function slotText(slot) {
    const p = mod._web_slot_header(slot);
    const number = String(slot).padStart(2, ' ');
    if (p === 0) return [number + ': NO DATA', false];
    const h = mod.HEAPU8;
    const date = String.fromCharCode(...h.subarray(p, p + 16));
    const score = (h[p + 20] | (h[p + 21] << 8) | (h[p + 22] << 16) | (h[p + 23] << 24)) >>> 0;
    return [number + ':' + String(score).padStart(7, ' ') + '0 ' + date, true];
  }

  function showSlots() {
    const list = $('slots');
    list.textContent = '';
    $('replays-hint').textContent = pendingFile
      ? 'Choose a slot for ' + pendingFile.name + '.'
      : replaysHint;
    for (let slot = 1; slot <= 16; slot++) {
      const [text, listed] = slotText(slot);
      const li = document.createElement('li');
      li.className = listed ? 'saved' : 'empty';
      const label = document.createElement('span');
      label.textContent = text;
      li.append(label);
      const button = (caption, action) => {
        const b = document.createElement('button');
        b.type = 'button';
        b.textContent = caption;
        b.addEventListener('click', action);
        li.append(b);
      };
      if (pendingFile) {
        const file = pendingFile;
        button('Put here', () => {
          pendingFile = null;
          importReplay(file, slot);
        });
      } else {
        if (listed) button('Download', () => downloadReplay(slot));
        button('Open\u2026', () => {
          const input = $('file-input');
          input.value = '';
          input.onchange = () => {
            if (input.files[0]) importReplay(input.files[0], slot);
          };
          input.click();
        });
      }
      list.append(li);
    }
  }

  function openReplays(message) {
    $('replays-message').textContent = message || '';
    showSlots();
    if (!$('replays').open) $('replays').showModal();
  }

  function downloadReplay(slot) {
    const name = slotName(slot);
    let bytes;
    try {
      bytes = mod.FS.readFile(SAVE_DIR + '/' + name);
    } catch (e) {
      openReplays(name + ' is gone.');
      return;
    }
    const blob = new Blob([bytes], { type: 'application/octet-stream' });
    const a = document.createElement('a');
    a.href = URL.createObjectURL(blob);
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
  }

  // The game never reads past the largest recording, so nothing beyond it is read or kept.
  function importReplay(file, slot) {
    file.slice(0, REPLAY_MAX_BYTES).arrayBuffer().then((buffer) => {
      const bytes = new Uint8Array(buffer);
      const p = mod._malloc(Math.max(bytes.length, 1));
      mod.HEAPU8.set(bytes, p);
      const rc = mod._web_import_replay(slot, p, bytes.length);
      mod._free(p);
      store.check(mod.FS);
      openReplays(rc === 0 ? file.name + ' is in slot ' + slot + ' now.'
        : rc === -1 ? file.name + ' is not a PIXEL BREAKER replay; slot ' + slot + ' is unchanged.'
          : file.name + ' could not be stored; slot ' + slot + ' is unchanged.');
    }, (e) => openReplays(file.name + ' could not be read: ' + e.message));
  }

  function watchReplays() {
    $('replays-button').addEventListener('click', () => {
      pendingFile = null;
      openReplays();
    });
    $('replays').addEventListener('close', () => { pendingFile = null; });
    document.addEventListener('dragover', (e) => {
      e.preventDefault();
      document.body.classList.add('dropping');
    });
    document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
    document.addEventListener('drop', (e) => {
      e.preventDefault();
      document.body.classList.remove('dropping');
      const file = e.dataTransfer && e.dataTransfer.files[0];
      if (!file) return;
      const m = /^PIXBRK(0[1-9]|1[0-6])\.REP$/i.exec(file.name);
      pendingFile = file;
      openReplays(m ? 'It was saved from slot ' + Number(m[1]) + '.' : '');
    });
  }

  // --- start-up --------------------------------------------------------------------------------

  function loadRom() {
    return fetch('ROMDATA.BIN').then((r) => {
      if (!r.ok) throw new Error('ROMDATA.BIN could not be loaded (HTTP ' + r.status + ' ' + r.statusText + ').');
      return r.arrayBuffer();
    }, (e) => {
      throw new Error('ROMDATA.BIN could not be loaded (' + e.message + ').');
    });
  }

  function loadCode() {
    if (typeof createPixbrk !== 'function') return Promise.reject(new Error('The game\'s code (pixbrk.js) could not be loaded.'));
    return createPixbrk({
      print: (t) => console.log(t),
      printErr: (t) => console.warn(t),
    }).catch((e) => {
      throw new Error('The game\'s code could not be started (' + (e && e.message || e) + ').');
    });
  }

  function startTestMode() {
    api.run = (script, traceEvery) => {
      const size = mod.lengthBytesUTF8(script) + 1;
      const p = mod._malloc(size);
      mod.stringToUTF8(script, p, size);
      const answer = mod.UTF8ToString(mod._web_test_run(p, traceEvery | 0));
      mod._free(p);
      if (answer.startsWith('error ')) throw new Error(answer.slice(6));
      let trace = '';
      if ((traceEvery | 0) > 0) trace = mod.FS.readFile(TRACE_PATH, { encoding: 'utf8' });
      return { summary: answer.slice(3), trace };
    };
    $('loading').textContent = 'Test mode: window.pixbrk.run(script, traceEvery)';
    settle.resolve();
  }

  function startGame(storeError) {
    const FS = mod.FS;
    makeLogDevice(FS);
    FS.chdir(SAVE_DIR);
    const rc = mod._web_start();
    if (rc !== 0) {
      // The log's own reasons, without time stamps, source locations and the lines around them.
      const why = logLines.map((l) => l.slice(20).replace(/ <[^>]*>$/, ''))
        .filter((l) => !/^(Executes |Load binary file:|loadbin error\.|nox_init error\.)/.test(l)).join(' ');
      throw new Error(rc === 1
        ? 'ROMDATA.BIN is broken: the game cannot read it. (' + why + ')'
        : 'ROMDATA.BIN lacks a picture or a sound the game needs. (' + why + ')');
    }
    mod.pixbrkPage = {
      present,
      soundWanted,
      soundPush,
      framesDone: () => store.check(FS),
      stopped: () => fail('The game has stopped. Reload the page to play again.'),
    };
    if (storeError) {
      notice('Saving is off: this browser refuses storage here (' + (storeError.message || storeError.name) +
        '). You can play, but the ranking, settings and replays are not kept.');
    } else if (navigator.storage && navigator.storage.persist) {
      navigator.storage.persist().catch(() => {});
    }
    $('bar').hidden = false;
    watchLayout();
    watchInput();
    watchReplays();
    api.frames = () => mod._web_frames();
    api.framesGivenUp = () => mod._web_frames_given_up();
    api.state = () => JSON.parse(mod.UTF8ToString(mod._web_state()));
    api.scale = () => scale;
    api.firstFrameMs = () => firstFrameMs;
    // [game frames, composition and canvas; all of the frame's work] in ms, per animation frame
    api.frameCosts = () => {
      const countPtr = mod._malloc(4);
      const p = mod._web_frame_costs(countPtr) >> 2;
      const count = mod.HEAPU32[countPtr >> 2];
      mod._free(countPtr);
      const out = [];
      for (let i = Math.max(0, count - 4096); i < count; i++) {
        out.push([mod.HEAPF32[p + 2 * (i % 4096)], mod.HEAPF32[p + 2 * (i % 4096) + 1]]);
      }
      return out;
    };
    api.sound = () => ({
      state: sound.ctx ? sound.ctx.state : 'not started',
      sent: sound.sent,
      played: sound.report ? sound.report.played : 0,
      nonzero: sound.report ? sound.report.nonzero : 0,
      underrun: sound.report ? sound.report.underrun : 0,
      latencies: sound.latencies.slice(),
      outputMs: sound.ctx && sound.ctx.state !== 'none' ? ((sound.ctx.baseLatency || 0) + (sound.ctx.outputLatency || 0)) * 1000 : 0,
    });
    if ('serviceWorker' in navigator) {
      navigator.serviceWorker.register('sw.js').catch((e) => console.warn('PIXEL BREAKER: no offline copy: ' + e));
    }
    settle.resolve();
  }

  if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
    fail('This browser cannot run PIXEL BREAKER: it has no WebAssembly. A current Firefox, Chrome, Edge or Safari can.');
    settle.reject(new Error('no WebAssembly'));
    return;
  }
  const storeOpened = testMode ? Promise.resolve(null) : store.open();
  Promise.all([loadCode(), loadRom(), storeOpened]).then(([m, rom, storeError]) => {
    mod = m;
    const FS = mod.FS;
    FS.mkdir('/rom');
    FS.writeFile(ROM_PATH, new Uint8Array(rom));
    if (testMode) {
      startTestMode();
      return null;
    }
    FS.mkdir(SAVE_DIR);
    return (storeError ? Promise.resolve(storeError) : store.restore(FS)).then((restoreError) => {
      if (restoreError) store.db = null;
      startGame(storeError || restoreError);
    });
  }).catch((e) => {
    fail(e.message || String(e));
    settle.reject(e);
  });
})();
