// Pointer and key events, passed on to the game in the pixels of its 480 x 640 client area.
import { canvas } from './page.js';
import { startSound } from './sound.js';

const CLIENT_W = 480, CLIENT_H = 640;    // the client area its pointer positions are given in
const EV_MOVE = 0, EV_DOWN = 1, EV_UP = 2, EV_LEAVE = 3, EV_ESCAPE = 4;

// Only the primary pointer plays, and a mouse only with its main button. A touch keeps the
// pointer while the finger stays down, also outside the screen; a mouse that leaves the screen
// lets go of it, as the desktop window does.
export function watchInput(mod) {
  const send = (kind, e) => {
    let x = 0, y = 0;
    if (e) {
      const r = canvas.getBoundingClientRect();
      x = Math.floor((e.clientX - r.left) * CLIENT_W / r.width);
      y = Math.floor((e.clientY - r.top) * CLIENT_H / r.height);
    }
    mod._web_event(kind, x, y);
  };
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
  for (const type of ['pointercancel', 'pointerleave']) {
    canvas.addEventListener(type, (e) => {
      if (e.isPrimary) send(EV_LEAVE);
    });
  }
  canvas.addEventListener('contextmenu', (e) => e.preventDefault());
  document.addEventListener('touchmove', (e) => {
    if (!e.target.closest('dialog')) e.preventDefault();
  }, { passive: false });
  document.addEventListener('gesturestart', (e) => e.preventDefault());
  // Escape back to the title menu; not the Escape that closes a dialog.
  let escapeTaken = false;
  for (const d of document.querySelectorAll('dialog')) d.addEventListener('cancel', () => { escapeTaken = true; });
  window.addEventListener('keydown', (e) => {
    if (e.key !== 'Escape') startSound();
  });
  window.addEventListener('keyup', (e) => {
    if (e.key !== 'Escape') return;
    if (escapeTaken || document.querySelector('dialog[open]')) {
      escapeTaken = false;
      return;
    }
    send(EV_ESCAPE);
  });
}
