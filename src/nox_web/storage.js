// The game's files in the browser: LOG.TXT goes to the console; SCORE.DAT and the replays are
// kept in IndexedDB, one record per file, and put back into the game's folder at start-up.
import { notice } from './page.js';

export const SAVE_DIR = '/save';          // as in web.h
const SAVED = /^(SCORE\.DAT|PIXBRK(0[1-9]|1[0-6])\.REP)$/;

// LOG.TXT is a device whose lines go to the console and into `lines`.
export function makeLogDevice(FS, lines) {
  let line = [];
  FS.createDevice(SAVE_DIR, 'LOG.TXT', null, (byte) => {
    if (byte !== 10) {
      line.push(byte);
      return;
    }
    const text = new TextDecoder().decode(new Uint8Array(line));
    line = [];
    lines.push(text);
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
