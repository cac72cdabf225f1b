// What every part of the page shares: its elements, the game's screen size, the messages the
// player reads, and window.pixbrk, which tests and measurements read.
export const W = 240, H = 320;            // the game's screen
export const $ = (id) => document.getElementById(id);
export const canvas = $('screen');

export function fail(text) {
  const box = $('failure');
  box.textContent = text;
  box.hidden = false;
  $('loading').hidden = true;
  canvas.classList.remove('running');
  console.error('PIXEL BREAKER: ' + text);
}

let noticeTimer = 0;
export function notice(text, seconds) {
  const box = $('notice');
  box.textContent = text + ' (Tap to close.)';
  box.hidden = false;
  box.onclick = () => { box.hidden = true; };
  clearTimeout(noticeTimer);
  if (seconds) noticeTimer = setTimeout(() => { box.hidden = true; }, seconds * 1000);
}

// `ready` settles once the game runs (or has failed).
let settle;
export const api = { ready: new Promise((resolve, reject) => { settle = { resolve, reject }; }) };
api.ready.catch(() => {});
window.pixbrk = api;
export const started = () => settle.resolve();
export const failed = (e) => settle.reject(e);
