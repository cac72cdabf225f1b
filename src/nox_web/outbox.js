// Submissions to the Hall of fame: each one waits in the browser's storage (IndexedDB) until the
// server has taken it (202, or 200 for bytes it had already), retried with growing pauses, across
// reloads, offline and while the server is down; then it is asked after until its verdict is in.
// The player's name is remembered here too, with the token of each name this browser claimed.

import { REPLAY } from './replay_layout.js';

// A replay header's fields (the one place the page reads them, at the offsets the game's replay
// codec gives): the date the game ended, its play frames, the score in tens of points as stored,
// the guide and floor options.
export function replayHeader(bytes) {
  const u32 = (at) => (bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (bytes[at + 3] << 24)) >>> 0;
  return {
    date: String.fromCharCode(...bytes.subarray(REPLAY.dateAt, REPLAY.dateAt + REPLAY.dateBytes)),
    frames: u32(REPLAY.framesAt), score: u32(REPLAY.scoreAt),
    guide: bytes[REPLAY.guideAt] !== 0, floor: bytes[REPLAY.floorAt] !== 0,
  };
}
export const HEADER_BYTES = REPLAY.headerBytes, RECORD_BYTES = REPLAY.recordBytes;

const PAUSE_FIRST_MS = 2000, PAUSE_MAX_MS = 60000;
const NAME_RULE = /^[A-Za-z0-9_.-]+( [A-Za-z0-9_.-]+)*$/;  // and 3 to 16 characters, as the server's

// Why a name cannot be used, in the server's words; '' when it can.
export function nameProblem(name) {
  if (name.length < 3 || name.length > 16) return 'A name has 3 to 16 characters.';
  if (!NAME_RULE.test(name)) {
    return 'A name holds only letters, digits, spaces (one at a time, not at either end), \'-\', \'_\' and \'.\'.';
  }
  return '';
}

// The server's reasons for a verdict or a refusal, in the player's words.
const REASONS = [
  [/^score: /, 'the score in the file is not the one the game reaches: '],
  [/^length: /, 'the length in the file is not the game\'s: '],
  [/^unfinished: .*/, 'a game given up with Escape cannot be ranked.'],
  [/^too long: /, 'the game is too long to be checked: '],
  [/^(not a replay|broken header): /, 'the file is not a whole PIXEL BREAKER replay: '],
];
export function plainReason(reason) {
  for (const [pattern, words] of REASONS) {
    if (pattern.test(reason)) return words + reason.replace(pattern, '');
  }
  return reason;
}

const request = (r) => new Promise((resolve, reject) => {
  r.onsuccess = () => resolve(r.result);
  r.onerror = () => reject(r.error);
});

export const outbox = {
  db: null,
  items: [],          // every submission this browser made, oldest first
  name: '',           // the name the player gave last
  api: '',            // the API's path on this origin
  timer: 0,
  busy: false,
  listeners: [],

  // Opens the store and starts sending what waits. Without storage the submissions live only as
  // long as the page.
  async open(api) {
    this.api = api;
    try {
      this.db = await new Promise((resolve, reject) => {
        const r = indexedDB.open('pixbrk-hof', 1);
        r.onupgradeneeded = () => {
          r.result.createObjectStore('outbox', { keyPath: 'key', autoIncrement: true });
          r.result.createObjectStore('player');
        };
        r.onsuccess = () => resolve(r.result);
        r.onerror = (e) => {
          e.preventDefault();
          reject(r.error);
        };
        r.onblocked = () => reject(new Error('blocked'));
      });
      this.items = await request(this.db.transaction('outbox').objectStore('outbox').getAll());
      this.name = (await request(this.db.transaction('player').objectStore('player').get('name'))) || '';
    } catch (e) {
      console.warn('PIXEL BREAKER: the Hall of fame\'s outbox is not kept: ' + (e && e.message || e));
      this.db = null;
    }
    // A fresh page tries at once whatever waits.
    for (const item of this.items) item.nextAt = 0;
    addEventListener('online', () => this.retryNow());
    this.changed();
  },

  onChange(f) { this.listeners.push(f); },
  changed() {
    for (const f of this.listeners) f();
    this.schedule();
  },

  async put(item) {
    if (!this.db) return;
    const tx = this.db.transaction('outbox', 'readwrite');
    const key = await request(tx.objectStore('outbox').put(item));
    if (item.key === undefined) item.key = key;
  },
  async player(key, value) {
    if (!this.db) return undefined;
    const store = this.db.transaction('player', value === undefined ? 'readonly' : 'readwrite').objectStore('player');
    return request(value === undefined ? store.get(key) : store.put(value, key));
  },

  rememberName(name) {
    this.name = name;
    return this.player('name', name).catch(() => {});
  },

  // Queues a replay's bytes (the records its header counts) under `name`; `what` says which game.
  async submit(name, bytes, what) {
    const h = replayHeader(bytes);
    const item = {
      name, what, bytes: bytes.slice(0, HEADER_BYTES + h.frames * RECORD_BYTES), score: h.score * 10,
      guide: h.guide, floor: h.floor, date: h.date, state: 'waiting', tries: 0, nextAt: 0, made: Date.now(),
    };
    await this.put(item);
    this.items.push(item);
    await this.rememberName(name);
    this.changed();
    return item;
  },

  retryNow() {
    for (const item of this.items) item.nextAt = 0;
    this.schedule();
  },

  // One timer for the earliest due; one request at a time, in order, so that a new name's first
  // submission has its token before the next one goes.
  schedule() {
    clearTimeout(this.timer);
    if (this.busy) return;
    const open = this.items.filter((i) => i.state === 'waiting' || i.state === 'pending');
    if (open.length === 0) return;
    const at = Math.min(...open.map((i) => i.nextAt));
    this.timer = setTimeout(() => this.pump(), Math.max(0, at - Date.now()));
  },

  async pump() {
    if (this.busy) return;
    this.busy = true;
    try {
      for (const item of this.items) {
        if ((item.state === 'waiting' || item.state === 'pending') && item.nextAt <= Date.now()) {
          await (item.state === 'waiting' ? this.send(item) : this.ask(item));
          await this.put(item).catch(() => {});
          for (const f of this.listeners) f();
        }
      }
    } finally {
      this.busy = false;
      this.schedule();
    }
  },

  later(item, retryAfterS) {
    item.tries++;
    const pause = Math.min(PAUSE_MAX_MS, PAUSE_FIRST_MS * 2 ** (item.tries - 1));
    item.nextAt = Date.now() + Math.max(pause, (retryAfterS || 0) * 1000);
  },

  async send(item) {
    if (!navigator.onLine) return this.later(item);
    const key = item.name.toLowerCase();
    const token = await this.player('token:' + key).catch(() => undefined);
    let r, body;
    try {
      r = await fetch(this.api + 'submissions?name=' + encodeURIComponent(item.name), {
        method: 'POST', body: item.bytes,
        headers: { 'Content-Type': 'application/octet-stream', ...(token ? { Authorization: 'Bearer ' + token } : {}) },
      });
      body = await r.json();
    } catch (e) {
      item.error = 'the Hall of fame cannot be reached';
      return this.later(item);
    }
    if (r.status === 202 || r.status === 200) {
      if (body.token) await this.player('token:' + key, body.token).catch(() => {});
      Object.assign(item, { id: body.id, state: 'pending', tries: 0, nextAt: Date.now() + 500, error: '' });
    } else if (r.status === 429 || r.status >= 500) {
      item.error = r.status === 429 ? 'the Hall of fame asks to wait' : 'the Hall of fame is busy';
      this.later(item, Number(r.headers.get('Retry-After')));
    } else {
      const refusal = r.status === 401 || (r.status === 403 && !/reserved/.test(body.error))
        ? `the name ${item.name} belongs to someone else (or to you in another browser): choose another name.`
        : plainReason(String(body.error));
      Object.assign(item, { state: 'rejected', reason: refusal });
    }
  },

  async ask(item) {
    let r, body;
    try {
      r = await fetch(this.api + 'submissions/' + item.id);
      body = await r.json();
    } catch (e) {
      return this.later(item);
    }
    if (r.status === 404) {
      Object.assign(item, { state: 'rejected', reason: 'the Hall of fame no longer has this game.' });
    } else if (r.ok && body.status === 'verified') {
      Object.assign(item, { state: 'verified', rank: body.rank, score: body.score });
    } else if (r.ok && body.status === 'rejected') {
      Object.assign(item, { state: 'rejected', reason: plainReason(String(body.reason)) });
    } else {
      this.later(item);
    }
  },
};
