// The game's files in the browser: LOG.TXT goes to the console; SCORE.DAT and the replays are
// kept in IndexedDB, one record per file, and put back into the game's folder at start-up.
import { notice } from './page.js';

export const SAVE_DIR = '/save';          // as in web.h
const SAVED = /^(SCORE\.DAT|PIXBRK(0[1-9]|1[0-6])\.REP)$/;
const CLEARABLE_TOLD = 'told: may be cleared';  // a record beside the files, never a file

// LOG.TXT is a device whose lines go to the console.
export function makeLogDevice(FS) {
  let line = [];
  FS.createDevice(SAVE_DIR, 'LOG.TXT', null, (byte) => {
    if (byte !== 10) {
      line.push(byte);
      return;
    }
    const text = new TextDecoder().decode(new Uint8Array(line));
    line = [];
    console.log('LOG.TXT: ' + text);
  });
}

// Whatever the game has saved in a frame goes into one transaction, so a file there is always
// whole: a tab closed while it runs leaves the previous version.
export const store = {
  db: null,
  kept: new Map(),     // name -> signature of the version in the database
  busy: false,
  failedAt: '',        // the file state whose saving failed; tried again once it changes
  told: '',            // the latest failure the player was told of
  toldClearable: false, // ... and that the browser may clear the files

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
      req.onsuccess = () => {
        const db = req.result;
        db.onclose = db.onversionchange = () => this.lost(db);
        settle(null, db);
      };
      req.onerror = (e) => {
        e.preventDefault();
        settle(req.error || new Error('IndexedDB refused'));
      };
      req.onblocked = () => settle(new Error('IndexedDB is blocked by another tab'));
    });
  },

  // The browser closed the database under the running game (its storage cleared, or another
  // page deleting it): a new one is opened, and everything the game holds is stored in it again.
  lost(db) {
    if (this.db !== db) return;
    db.close();
    this.db = null;
    this.open().then((error) => {
      this.kept = new Map();
      this.busy = false;
      if (error) this.failed(error, '');
      else if (this.toldClearable) this.markClearableTold();
    });
  },

  // Whether the browser may clear the kept files (a private window when it closes, any browser
  // when space runs short, unless it has made them persistent): the player is told once; the
  // mark of that lives with the files, so the player is told again after they were cleared.
  async warnIfClearable() {
    const s = navigator.storage;
    if (s && s.persist) s.persist().catch(() => {});
    if (s && s.persisted && await s.persisted().catch(() => false)) return;
    this.toldClearable = await this.request('readonly', (files) => files.get(CLEARABLE_TOLD)).catch(() => true);
    if (this.toldClearable) return;
    notice('This browser may clear the ranking, settings and replays it keeps here (a private window ' +
      'does when it closes). To keep a replay, download it (Replays).', 12);
    this.markClearableTold();
  },

  markClearableTold() {
    this.toldClearable = true;
    this.request('readwrite', (files) => files.put(1, CLEARABLE_TOLD)).catch(() => {});
  },

  // One request on the files (or a list of them) in a transaction of its own; resolves with its
  // result (or the list of their results).
  request(mode, make) {
    return new Promise((resolve, reject) => {
      const tx = this.db.transaction('files', mode);
      const req = make(tx.objectStore('files'));
      tx.oncomplete = () => resolve(Array.isArray(req) ? req.map((r) => r.result) : req.result);
      tx.onabort = tx.onerror = () => reject(tx.error);
    });
  },

  // Puts every kept file into the save directory. Resolves with null, or the error.
  restore(FS) {
    return this.request('readonly', (files) => [files.getAllKeys(), files.getAll()]).then(([keys, values]) => {
      keys.forEach((name, i) => {
        if (SAVED.test(name)) FS.writeFile(SAVE_DIR + '/' + name, values[i]);
      });
      this.kept = this.scan(FS);
      return null;
    }, (e) => e || new Error('reading failed'));
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

  // The files the game has saved or removed that are not kept yet.
  changes(FS) {
    const now = this.scan(FS);
    const changed = [...now.keys()].filter((n) => this.kept.get(n) !== now.get(n));
    const removed = [...this.kept.keys()].filter((n) => !now.has(n));
    return { now, changed, removed, count: changed.length + removed.length };
  },

  // Called after every batch of frames: keeps what the game has saved or removed since.
  check(FS) {
    if (!this.db || this.busy) return;
    const { now, changed, removed, count } = this.changes(FS);
    if (count === 0) return;
    const state = [...now].join();
    if (state === this.failedAt) return;
    const db = this.db;
    let tx;
    try {
      tx = db.transaction('files', 'readwrite');
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
      if (this.db !== db) return;  // lost meanwhile: all is stored again
      this.busy = false;
      this.kept = now;
      this.failedAt = '';
      this.check(FS);
    };
    tx.onabort = () => {
      if (this.db !== db) return;
      this.busy = false;
      this.failed(tx.error, state);
    };
  },

  // Told once: the game plays on, and tries again with the next change.
  failed(error, state) {
    this.failedAt = state;
    const full = error && error.name === 'QuotaExceededError';
    const text = full
      ? 'The browser\'s storage is full: the latest ranking, settings or replay was not kept.'
      : 'Saving failed (' + (error ? error.message || error.name : 'unknown error') + '): the latest ranking, settings or replay was not kept.';
    if (text !== this.told) notice(text);
    this.told = text;
  },
};
