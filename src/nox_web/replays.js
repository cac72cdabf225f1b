// The Replays dialog: every slot's saved replay offered for download, and replay files (picked
// or dropped onto the page) put into a slot.
import { $ } from './page.js';
import { HEADER_BYTES, replayHeader } from './outbox.js';
import { REPLAY } from './replay_layout.js';
import { SAVE_DIR, store } from './storage.js';

const slotName = (slot) => 'PIXBRK' + String(slot).padStart(2, '0') + '.REP';
let mod = null;
let pendingFile = null;  // a file dropped onto the page, waiting for a slot
const replaysHint = $('replays-hint').textContent;  // the page's own, shown without a dropped file
const slotActions = [];  // more that other parts of the page offer for a saved replay

// Adds a button for each saved replay: `action(slot, bytes)`.
export const addSlotAction = (caption, action) => slotActions.push({ caption, action });

function slotText(slot) {
  const p = mod._web_slot_header(slot);
  const number = String(slot).padStart(2, ' ');
  if (p === 0) return [number + ': NO DATA', false];
  const h = replayHeader(mod.HEAPU8.subarray(p, p + HEADER_BYTES));
  return [number + ':' + String(h.score).padStart(7, ' ') + '0 ' + h.date, true];
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
      for (const a of listed ? slotActions : []) {
        button(a.caption, () => {
          const bytes = readSlot(slot);
          if (bytes) a.action(slot, bytes);
        });
      }
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

// A slot's file, or null (and the dialog says so) when it is gone.
function readSlot(slot) {
  try {
    return mod.FS.readFile(SAVE_DIR + '/' + slotName(slot));
  } catch (e) {
    openReplays(slotName(slot) + ' is gone.');
    return null;
  }
}

function downloadReplay(slot) {
  const bytes = readSlot(slot);
  if (!bytes) return;
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  a.download = slotName(slot);
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

// The game never reads past the largest recording, so nothing beyond it is read or kept.
function importReplay(file, slot) {
  file.slice(0, REPLAY.maxBytes).arrayBuffer().then((buffer) => {
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

export function watchReplays(game) {
  mod = game;
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
