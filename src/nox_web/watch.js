// Watching a ranked game: `#watch=ID` opens the page straight into the playback of that game, and
// the Hall of fame's "Watch" does the same from the title menu. The game plays the replay as
// LOAD REPLAY plays a slot (watch.cpp); the player's own recording comes back afterwards.
import { HEADER_BYTES } from './outbox.js';
import { notice } from './page.js';

const LINK = /^#watch=([0-9a-f]{32})$/;
let mod = null;
let from = -1;  // game frames that had run when the latest watched playback began
let firstFrameMs = 0;  // when its first frame was shown (the page's clock)

// The id of the ranked game the page's address asks to watch, or null.
export const linkedId = () => (LINK.exec(location.hash) || [])[1] || null;
export const watchLink = (id) => location.href.split('#')[0] + '#watch=' + id;
export const watching = () => mod !== null && mod._web_watching() === 1;

export function fetchReplay(api, id) {
  return fetch(api + 'submissions/' + id + '/replay').then((r) => {
    if (!r.ok) throw new Error(r.status === 404 ? 'the Hall of fame has no such game' : 'HTTP ' + r.status);
    return r.arrayBuffer();
  }, () => {
    throw new Error('the Hall of fame cannot be reached');
  });
}

export const cannotWatch = (e) => notice('The ranked game cannot be watched: ' + e.message + '.', 10);

// Starts the playback of a replay's bytes; false, with a notice, when the game cannot now.
export function play(bytes) {
  const data = new Uint8Array(bytes);
  const p = mod._malloc(Math.max(data.length, 1));
  mod.HEAPU8.set(data, p);
  const before = mod._web_frames();
  const rc = mod._web_watch(p, data.length);
  mod._free(p);
  if (rc === 0) {
    from = before;
    firstFrameMs = 0;
    requestAnimationFrame(() => { firstFrameMs = performance.now(); });  // after the game's own frame
    return true;
  }
  cannotWatch(new Error(rc === -2 ? 'that starts from the title menu: finish this game first, or leave it with Escape'
    : 'its file is not a replay the game plays'));
  return false;
}

// The player's finished game, as SAVE REPLAY would save it, or null; `headerOnly` copies only
// its header.
export function recording(headerOnly = false) {
  const sizePtr = mod._malloc(4);
  const p = mod._web_recording(sizePtr);
  const size = mod.HEAPU32[sizePtr >> 2];
  mod._free(sizePtr);
  return p === 0 ? null : mod.HEAPU8.slice(p, p + (headerOnly ? HEADER_BYTES : size));
}

export function startWatching(game, pageApi) {
  mod = game;
  // For tests and measurements: whether a watched playback runs, the game frames that had run
  // when it began, when its first frame was shown, and its score in points (at its latest frame).
  pageApi.watching = () => ({ watching: watching(), from, firstFrameMs, score: mod._web_watched_score() * 10 });
  pageApi.recording = () => {
    const r = recording();
    return r && Array.from(r);
  };
}
