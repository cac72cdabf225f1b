// The Hall of fame in the page: its boards, watching any ranked game, and submitting games (the
// outbox keeps them until the server has them). Only where the page is served with the API: the
// page asks for its own address once, and pixbrk-server's answer names the API's path in a
// header (X-Pixbrk-Api); elsewhere nothing of this shows. Names and reasons from the server are
// only ever set as text.
import { $, notice } from './page.js';
import { addSlotAction } from './replays.js';
import { nameProblem, outbox, replayHeader } from './outbox.js';
import { cannotWatch, fetchReplay, linkedId, play, recording, startWatching, watching, watchLink } from './watch.js';

const PAGE_SIZE = 50;
const PERIODS = { day: 'today', week: 'this week', all: 'of all time' };

// The API's path on this origin, or null when the page is served without it.
function findApi() {
  if (new URLSearchParams(location.search).has('test')) return Promise.resolve(null);
  return fetch(location.href.split('#')[0]).then((r) => {
    const named = r.headers.get('X-Pixbrk-Api');
    if (r.body) r.body.cancel().catch(() => {});
    if (!r.ok || !named) return null;
    const url = new URL(named, location.origin);
    return url.origin === location.origin ? url.pathname : null;
  }, () => null);
}

// Asked for at once, while the game's code loads; so is the replay a watch link names.
const apiReady = findApi();
const linked = linkedId();
const linkedReplay = linked && apiReady.then((api) => {
  if (api === null) throw new Error('this page has no Hall of fame');
  return fetchReplay(api, linked);
});
if (linkedReplay) linkedReplay.catch(() => {});

let api = null;
let mod = null;
const board = { guide: 0, floor: 0, period: 'all', offset: 0, asked: 0 };
let target = null;  // { what, bytes }: the game the submit button sends

const points = (n) => n.toLocaleString('en-US') + ' points';
const boardName = (guide, floor) => `guide ${guide ? 'on' : 'off'}, floor ${floor ? 'on' : 'off'}`;
const length = (frames) => {
  const s = Math.floor(frames / 60);
  return Math.floor(s / 60) + ':' + String(s % 60).padStart(2, '0');
};

function element(tag, text, className) {
  const e = document.createElement(tag);
  if (text !== undefined) e.textContent = text;
  if (className) e.className = className;
  return e;
}
function button(caption, action) {
  const b = element('button', caption);
  b.type = 'button';
  b.addEventListener('click', action);
  return b;
}
const say = (text) => { $('hof-message').textContent = text; };

// The player's name when it is one the server takes, else ''.
function playerName() {
  const name = $('hof-name').value;
  return name && !nameProblem(name) ? name : '';
}

function entryRow(e, own) {
  const li = element('li', undefined, own ? 'own' : '');
  const below = element('div', undefined, 'below');
  below.append(element('span', e.date.slice(0, 10) + ' \u00b7 ' + length(e.frames), 'when'), button('Watch', () => {
    $('hof').close();
    fetchReplay(api, e.id).then(play, cannotWatch);
  }), button('Copy link', () => copyLink(e.id)));
  li.append(element('span', String(e.rank), 'rank'), element('span', e.name, 'name'), element('span', points(e.score), 'score'), below);
  return li;
}

function copyLink(id) {
  const link = watchLink(id);
  const shown = () => say('The link to this game: ' + link);
  if (!navigator.clipboard) return shown();
  return navigator.clipboard.writeText(link).then(() => say('Link copied: ' + link), shown);
}

async function showBoard() {
  const asked = ++board.asked;
  const name = playerName();
  const query = `boards?guide=${board.guide}&floor=${board.floor}&period=${board.period}&limit=${PAGE_SIZE}` +
    `&offset=${board.offset}` + (name ? '&name=' + encodeURIComponent(name) : '');
  $('hof-range').textContent = 'Loading\u2026';
  let reply;
  try {
    const r = await fetch(api + query);
    reply = await r.json();
    if (!r.ok) throw new Error(reply.error);
  } catch (e) {
    if (asked === board.asked) $('hof-range').textContent = 'The Hall of fame cannot be reached now.';
    return;
  }
  if (asked !== board.asked) return;  // another board was asked for meanwhile
  const list = $('hof-entries');
  list.textContent = '';
  for (const e of reply.entries) list.append(entryRow(e, name && e.name.toLowerCase() === name.toLowerCase()));
  const own = $('hof-own');
  own.textContent = '';
  if (!name) {
    own.append(element('span', 'Give your name below to see your place here.'));
  } else if (!reply.own) {
    own.append(element('span', `${name} has no verified game on this board ${PERIODS[board.period]}.`));
  } else {
    own.append(element('span', 'Your best:'), element('ol', undefined, 'entries'));
    own.lastChild.append(entryRow(reply.own, true));
  }
  const last = board.offset + reply.entries.length;
  $('hof-range').textContent = reply.total === 0 ? `No verified games on this board ${PERIODS[board.period]} yet.`
    : `${board.offset + 1}\u2013${last} of ${reply.total}`;
  $('hof-prev').disabled = board.offset === 0;
  $('hof-next').disabled = last >= reply.total;
  $('hof').dataset.shown = String(asked);  // for tests and measurements: this board is on screen
}

const STATES = {
  waiting: (i) => 'waiting to be sent' + (i.error ? ` (${i.error}; next try in ${Math.max(1, Math.round((i.nextAt - Date.now()) / 1000))} s)` : ''),
  pending: () => 'being checked',
  verified: (i) => (i.rank ? `verified: place ${i.rank} on its board` : 'verified (a better game of this name stands on its board)'),
  rejected: (i) => 'rejected: ' + i.reason,
};

function showOutbox() {
  const list = $('hof-outbox');
  list.textContent = '';
  for (const i of [...outbox.items].reverse()) {
    const li = element('li', undefined, i.state);
    li.append(element('span', `${i.what}, ${points(i.score)}, ${boardName(i.guide, i.floor)}, as ${i.name}`, 'what'),
      element('span', STATES[i.state](i), 'state'));
    list.append(li);
  }
}

function showTargets() {
  const box = $('hof-targets');
  box.textContent = '';
  const game = recording();
  const choices = [...(target ? [target] : []), ...(game ? [{ what: 'this game', bytes: game }] : [])];
  for (const t of choices) {
    box.append(button(`Submit ${t.what} (${points(replayHeader(t.bytes).score * 10)})`, () => submit(t)));
  }
  $('hof-hint').hidden = choices.length > 0;
}

async function submit(t) {
  const name = $('hof-name').value;
  const problem = nameProblem(name);
  if (problem) {
    say(problem);
    $('hof-name').focus();
    return;
  }
  await outbox.submit(name, t.bytes, t.what);
  if (t === target) target = null;
  say(`${t.what[0].toUpperCase() + t.what.slice(1)} is in the outbox: it is sent as soon as the Hall of fame answers.`);
  showTargets();
  showBoard();
}

function openPanel(next) {
  if (next !== undefined) target = next;
  say('');
  $('hof-name').value = $('hof-name').value || outbox.name;
  showTargets();
  showOutbox();
  if (!$('hof').open) $('hof').showModal();
  showBoard();
}

// A finished game not in the outbox yet is offered on the button bar.
function offerGame() {
  const h = recording(true);
  const sent = h && outbox.items.some((i) => {
    const o = replayHeader(i.bytes);
    const n = replayHeader(h);
    return o.date === n.date && o.score === n.score && o.frames === n.frames;
  });
  $('submit-button').hidden = !h || sent;
  // A watch link has done its work once its playback is over: a reload is the plain page again.
  if (linkPlayed && linkedId() && !watching()) history.replaceState(null, '', location.href.split('#')[0]);
}
let linkPlayed = false;

function watchHash() {
  const id = linkedId();
  if (id) fetchReplay(api, id).then((bytes) => { linkPlayed = play(bytes); }, cannotWatch);
}

function wire() {
  $('hof-button').hidden = false;
  $('hof-button').addEventListener('click', () => openPanel());
  $('submit-button').addEventListener('click', () => openPanel(null));
  $('hof-board').addEventListener('change', () => {
    [board.guide, board.floor] = $('hof-board').value.split(',').map(Number);
    board.offset = 0;
    showBoard();
  });
  for (const b of document.querySelectorAll('#hof-periods button')) {
    b.addEventListener('click', () => {
      board.period = b.dataset.period;
      board.offset = 0;
      for (const o of document.querySelectorAll('#hof-periods button')) o.setAttribute('aria-pressed', String(o === b));
      showBoard();
    });
  }
  $('hof-prev').addEventListener('click', () => {
    board.offset = Math.max(0, board.offset - PAGE_SIZE);
    showBoard();
  });
  $('hof-next').addEventListener('click', () => {
    board.offset += PAGE_SIZE;
    showBoard();
  });
  $('hof-name').addEventListener('change', () => {
    say(nameProblem($('hof-name').value));
    showBoard();
  });
  // Enter in the name field would close the dialog (its form's way): it submits instead.
  $('hof-name').addEventListener('keydown', (e) => {
    if (e.key !== 'Enter') return;
    e.preventDefault();
    const first = $('hof-targets').querySelector('button');
    if (first) first.click();
  });
  addSlotAction('Submit\u2026', (slot, bytes) => {
    $('replays').close();
    openPanel({ what: 'slot ' + slot, bytes });
  });
  outbox.onChange(() => {
    if ($('hof').open) showOutbox();
  });
  setInterval(() => {
    offerGame();
    if ($('hof').open) showOutbox();
  }, 500);
  addEventListener('hashchange', watchHash);
}

// Called once the game runs.
export function startHof(game, pageApi) {
  mod = game;
  startWatching(mod, pageApi);
  // Once the game runs (after the start-up's own notices).
  if (linkedReplay) {
    pageApi.ready.then(() => linkedReplay).then((bytes) => {
      linkPlayed = play(bytes);
    }, cannotWatch);
  }
  apiReady.then((a) => {
    if (a === null) return;
    api = a;
    wire();
    return outbox.open(api);
  }).catch((e) => notice('The Hall of fame is not available: ' + (e && e.message || e), 10));
}
