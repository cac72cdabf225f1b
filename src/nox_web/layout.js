// The picture on the page: the game's frames onto the canvas, the canvas sized and placed in the
// window, and the Fullscreen button.
import { $, H, W, canvas } from './page.js';

const ctx2d = canvas.getContext('2d', { alpha: false });
let image = null;  // the picture in the game's memory, seen as canvas pixels
let scale = 1;
let firstFrameMs = 0;

export const currentScale = () => scale;
export const firstFrameAt = () => firstFrameMs;

export function present(mod, address) {
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
// and stretch some rows by one physical pixel. A window too small even for 1x gets the
// picture scaled down to fit, smoothed, so that all of it can be seen and reached.
function layout() {
  const dpr = window.devicePixelRatio || 1;
  const pw = Math.floor(window.innerWidth * dpr);
  const ph = Math.floor(window.innerHeight * dpr);
  const fit = Math.min(pw / W, ph / H);
  scale = fit >= 1 ? Math.floor(fit) : fit;
  canvas.classList.toggle('shrunk', fit < 1);
  const left = Math.floor((pw - W * scale) / 2) / dpr;
  const top = Math.floor((ph - H * scale) / 2) / dpr;
  canvas.style.transform = 'matrix(' + [scale / dpr, 0, 0, scale / dpr, left, top].join(',') + ')';
  const bar = $('bar').getBoundingClientRect();
  const box = canvas.getBoundingClientRect();
  $('bar').classList.toggle('over', bar.left < box.right && bar.bottom > box.top);
}

export function watchLayout() {
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
  watchFullscreen();
}

// The Fullscreen button, where the page can make an element fullscreen: not on an iPhone, whose
// browsers have none; with the prefixed calls of older WebKit (an iPad's Safari).
function watchFullscreen() {
  const d = document, root = d.documentElement;
  const prefixed = !d.fullscreenEnabled && d.webkitFullscreenEnabled === true;
  if (!d.fullscreenEnabled && !prefixed) return;
  const current = () => (prefixed ? d.webkitFullscreenElement : d.fullscreenElement);
  const button = $('fullscreen-button');
  button.hidden = false;
  button.addEventListener('click', () => {
    try {
      // a promise, except from the prefixed calls
      const done = current() ? (prefixed ? d.webkitExitFullscreen() : d.exitFullscreen())
        : (prefixed ? root.webkitRequestFullscreen() : root.requestFullscreen({ navigationUI: 'hide' }));
      if (done) done.catch(() => {});
    } catch {
      // refused: the button stays as it is
    }
  });
  d.addEventListener(prefixed ? 'webkitfullscreenchange' : 'fullscreenchange', () => {
    button.textContent = current() ? 'Exit fullscreen' : 'Fullscreen';
    layout();
  });
}
