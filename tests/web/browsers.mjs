// The browser engines the tests run in, behind one small interface, so that one test description
// serves all three: Chromium through playwright-core, Firefox through puppeteer-core (WebDriver
// BiDi), WebKit through WebDriver (WebKitGTK's driver and MiniBrowser, on an Xvfb display of its
// own per page). Always Debian's browsers: no tool here ever downloads one.
//
// A page: goto, reload, evaluate(fn, arg), waitFor(fn, arg), mouse and touch, click(selector),
// box(selector), screenshot() (PNG of the viewport in device pixels), download(trigger),
// chooseFile(trigger, file), errors() (uncaught errors and rejections of every document it
// showed), close(). Positions are CSS pixels of the viewport.
import { execFileSync } from 'node:child_process';
import { once } from 'node:events';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { chromium } from 'playwright-core';
import puppeteer from 'puppeteer-core';
import { Builder, By } from 'selenium-webdriver';
import { Command } from 'selenium-webdriver/lib/command.js';
import { ownChild, sleep, tempDir } from './support.mjs';

export const ENGINES = (process.env.PIXBRK_WEB_ENGINES || 'chromium,firefox,webkit').split(',');

// What automation cannot do in an engine here: the checks that need it are skipped there, with
// this reason.
export const LACKS = {
  chromium: {},
  firefox: {
    quota: 'automation cannot change its storage quota',
    manifest: 'automation cannot read its installability checks',
  },
  webkit: {
    quota: 'automation cannot change its storage quota',
    manifest: 'automation cannot read its installability checks',
    fastDisplay: 'its animation frames follow the display, and automation cannot unthrottle them',
  },
};

const WEBKIT_DIR = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1';

class Page {
  constructor() { this.seen = []; }

  async waitFor(fn, arg, timeoutMs = 20000, what = 'a condition in the page') {
    const end = Date.now() + timeoutMs;
    for (;;) {
      const v = await this.evaluate(fn, arg);
      if (v) return v;
      if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
      await sleep(50);
    }
  }

  box(selector) {
    return this.evaluate((s) => {
      const r = document.querySelector(s).getBoundingClientRect();
      return { x: r.x, y: r.y, width: r.width, height: r.height };
    }, selector);
  }

  // Errors recorded by the test server's script in each document; collected before it goes.
  async harvest() {
    try {
      this.seen.push(...await this.evaluate(() => window.pixbrkErrors || []));
    } catch {
      // a page that is gone already has nothing more to tell
    }
  }

  async errors() {
    await this.harvest();
    const all = this.seen;
    this.seen = [];
    return all;
  }

  // Both wait until the new document has loaded (a WebDriver navigation may return sooner).
  async goto(url) {
    await this.harvest();
    await this.evaluate(() => { window.pixbrkLeft = true; }).catch(() => {});
    await this.navigate(url);
    await this.waitFor(() => !window.pixbrkLeft && document.readyState === 'complete', null, 20000, 'the page to load');
  }

  async reload() {
    await this.harvest();
    await this.evaluate(() => { window.pixbrkLeft = true; });
    await this.refresh();
    await this.waitFor(() => !window.pixbrkLeft && document.readyState === 'complete', null, 20000, 'the page to load');
  }

  // The replay the page offers for download, taken from the link it clicks (the engines whose
  // downloads automation cannot reach here): the blob behind it, as the page's policy lets the
  // page fetch nothing but its own site.
  async downloadFromLink(trigger) {
    await this.evaluate(() => {
      window.pixbrkDownload = null;
      const blobs = new Map();
      const makeUrl = URL.createObjectURL;
      URL.createObjectURL = (blob) => {
        const url = makeUrl(blob);
        blobs.set(url, blob);
        return url;
      };
      HTMLAnchorElement.prototype.click = function click() {
        const a = this;
        blobs.get(a.href).arrayBuffer().then((b) => {
          window.pixbrkDownload = { name: a.download, bytes: Array.from(new Uint8Array(b)) };
        });
      };
    });
    await trigger();
    const d = await this.waitFor(() => window.pixbrkDownload, null, 10000, 'the download');
    return { name: d.name, bytes: Buffer.from(d.bytes) };
  }
}

// --- Chromium ------------------------------------------------------------------------------------

class ChromiumPage extends Page {
  static async open(browser, o) {
    const p = new ChromiumPage();
    p.context = await browser.newContext({
      viewport: { width: o.width, height: o.height }, deviceScaleFactor: o.dpr,
      isMobile: o.touch, hasTouch: o.touch, acceptDownloads: true,
    });
    p.page = await p.context.newPage();
    p.cdp = await p.context.newCDPSession(p.page);
    return p;
  }

  navigate(url) { return this.page.goto(url); }
  refresh() { return this.page.reload(); }
  evaluate(fn, arg) { return this.page.evaluate(fn, arg); }
  click(selector) { return this.page.click(selector); }
  async screenshot() { return this.page.screenshot(); }
  get mouse() {
    const m = this.page.mouse;
    return { move: (x, y) => m.move(x, y), down: () => m.down(), up: () => m.up() };
  }
  get touch() {
    const send = (type, p) => this.cdp.send('Input.dispatchTouchEvent', { type, touchPoints: p ? [p] : [] });
    return { start: (x, y) => send('touchStart', { x, y }), move: (x, y) => send('touchMove', { x, y }), end: () => send('touchEnd') };
  }
  async download(trigger) {
    const [d] = await Promise.all([this.page.waitForEvent('download'), trigger()]);
    return { name: d.suggestedFilename(), bytes: fs.readFileSync(await d.path()) };
  }
  async chooseFile(trigger, file) {
    const [chooser] = await Promise.all([this.page.waitForEvent('filechooser'), trigger()]);
    await chooser.setFiles(file);
  }
  // The browser's storage quota for the page's origin in bytes; null for the default again.
  setQuota(origin, bytes) {
    return this.cdp.send('Storage.overrideQuotaForOrigin', bytes === null ? { origin } : { origin, quotaSize: bytes });
  }
  async installProblems() {
    const manifest = (await this.cdp.send('Page.getAppManifest')).errors;
    const { installabilityErrors } = await this.cdp.send('Page.getInstallabilityErrors');
    // A test profile is private, which alone keeps a page from being installed.
    return [...manifest, ...installabilityErrors.filter((e) => e.errorId !== 'in-incognito')];
  }
  async close() {
    await this.harvest();
    await this.context.close();
  }
}

async function launchChromium({ fastDisplay = false } = {}) {
  // Without vsync and its frame-rate limit, Chromium calls the animation frames as often as it can.
  const args = ['--no-sandbox', ...(fastDisplay ? ['--disable-gpu-vsync', '--disable-frame-rate-limit'] : [])];
  const browser = await chromium.launch({ executablePath: process.env.PIXBRK_CHROMIUM || '/usr/bin/chromium', args });
  return { newPage: (o) => ChromiumPage.open(browser, o), close: () => browser.close() };
}

// --- Firefox -------------------------------------------------------------------------------------

class FirefoxPage extends Page {
  static async open(browser, o) {
    const p = new FirefoxPage();
    p.downloads = tempDir('firefox-downloads');
    p.context = await browser.createBrowserContext({ downloadBehavior: { policy: 'allow', downloadPath: p.downloads } });
    p.page = await p.context.newPage();
    await p.page.setViewport({ width: o.width, height: o.height, deviceScaleFactor: o.dpr, isMobile: o.touch, hasTouch: o.touch });
    return p;
  }

  navigate(url) { return this.page.goto(url); }
  refresh() { return this.page.reload(); }
  evaluate(fn, arg) { return this.page.evaluate(fn, arg); }
  click(selector) { return this.page.click(selector); }
  async screenshot() { return Buffer.from(await this.page.screenshot()); }
  get mouse() {
    const m = this.page.mouse;
    return { move: (x, y) => m.move(x, y), down: () => m.down(), up: () => m.up() };
  }
  get touch() {
    const t = this.page.touchscreen;
    return { start: (x, y) => t.touchStart(x, y), move: (x, y) => t.touchMove(x, y), end: () => t.touchEnd() };
  }
  async download(trigger) {
    await trigger();
    // Firefox writes a download under a temporary name and renames it when it is whole.
    const end = Date.now() + 10000;
    for (;;) {
      const done = fs.readdirSync(this.downloads).filter((f) => !f.endsWith('.part'));
      if (done.length === 1 && !fs.existsSync(path.join(this.downloads, done[0] + '.part'))) {
        const file = path.join(this.downloads, done[0]);
        const d = { name: done[0], bytes: fs.readFileSync(file) };
        fs.rmSync(file);
        return d;
      }
      if (Date.now() > end) throw new Error('no download arrived: ' + done.join(', '));
      await sleep(50);
    }
  }
  async chooseFile(trigger, file) {
    const [chooser] = await Promise.all([this.page.waitForFileChooser(), trigger()]);
    await chooser.accept([file]);
  }
  async close() {
    await this.harvest();
    await this.context.close();
  }
}

async function launchFirefox({ fastDisplay = false } = {}) {
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath: process.env.PIXBRK_FIREFOX || '/usr/bin/firefox-esr', headless: true,
    // A display faster than 60 Hz: the animation frames at 120 a second.
    extraPrefsFirefox: fastDisplay ? { 'layout.frame_rate': 120 } : {},
  });
  return { newPage: (o) => FirefoxPage.open(browser, o), close: () => browser.close() };
}

// --- WebKit --------------------------------------------------------------------------------------

const freePort = async () => {
  const s = net.createServer().listen(0, '127.0.0.1');
  await once(s, 'listening');
  const { port } = s.address();
  s.close();
  return port;
};

// An X display exactly the size of the viewport in device pixels, with a window manager, so that
// MiniBrowser's full-screen window is the viewport. GDK_SCALE gives the device pixel ratio.
async function startDisplay(width, height) {
  const xvfb = ownChild('Xvfb', ['-displayfd', '3', '-screen', '0', `${width}x${height}x24`, '-nolisten', 'tcp'],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  let number = '';
  for await (const chunk of xvfb.stdio[3]) {
    number += chunk;
    if (number.includes('\n')) break;
  }
  xvfb.stdio[3].destroy();
  const display = ':' + number.trim();
  const wm = ownChild('openbox', ['--sm-disable'], { env: { ...process.env, DISPLAY: display } });
  // A busy machine can take several seconds to start it.
  for (const until = Date.now() + 30000; ;) {
    const root = execFileSync('xprop', ['-display', display, '-root', '_NET_SUPPORTING_WM_CHECK'], { encoding: 'utf8' });
    if (root.includes('window id')) break;
    if (Date.now() > until) throw new Error('no window manager on ' + display + ' after 30 s');
    await sleep(50);
  }
  return { display, stop: () => { wm.kill('SIGKILL'); xvfb.kill('SIGKILL'); } };
}

class WebKitPage extends Page {
  static async open(o) {
    const p = new WebKitPage();
    p.x = await startDisplay(o.width * o.dpr, o.height * o.dpr);
    const port = await freePort();
    p.driverProcess = ownChild('/usr/bin/WebKitWebDriver', [`--port=${port}`], {
      // Compositing through the software GL of a machine without a GPU paints too slowly for 60 Hz.
      env: { ...process.env, DISPLAY: p.x.display, GDK_SCALE: String(o.dpr), WEBKIT_DISABLE_COMPOSITING_MODE: '1' },
    });
    for (let i = 0; ; i++) {
      try {
        await fetch(`http://127.0.0.1:${port}/status`);
        break;
      } catch (e) {
        if (i > 200) throw new Error('WebKitWebDriver does not answer: ' + e.message);
        await sleep(50);
      }
    }
    p.driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
      browserName: 'MiniBrowser',
      'webkitgtk:browserOptions': { binary: `${WEBKIT_DIR}/MiniBrowser`, args: ['--automation', '--full-screen'] },
    }).build();
    await p.driver.manage().setTimeouts({ script: 600000 });
    p.touchscreen = o.touch;
    return p;
  }

  navigate(url) { return this.driver.get(url); }
  refresh() { return this.driver.navigate().refresh(); }
  async evaluate(fn, arg) {
    const r = await this.driver.executeAsyncScript(`const done = arguments[arguments.length - 1];
      Promise.resolve().then(() => (${fn})(arguments[0]))
        .then((v) => done({ value: v === undefined ? null : v }), (e) => done({ error: String(e && e.message || e) }));`,
    arg === undefined ? null : arg);
    if ('error' in r) throw new Error(r.error);
    return r.value;
  }
  // Its driver does not always bring an element inside a scrolled dialog into view before a
  // click (and then refuses it as not interactable): the page does that first.
  async click(selector) {
    const element = await this.driver.findElement(By.css(selector));
    await this.driver.executeScript('arguments[0].scrollIntoView({ block: "nearest" })', element);
    return element.click();
  }
  async screenshot() { return Buffer.from(await this.driver.takeScreenshot(), 'base64'); }
  // One pointer of WebDriver's input actions; its state (position, buttons) lasts between calls.
  pointer(id, type) {
    const act = (...actions) => this.driver.execute(new Command('actions').setParameter('actions',
      [{ type: 'pointer', id, parameters: { pointerType: type }, actions }]));
    return {
      move: (x, y) => act({ type: 'pointerMove', x: Math.round(x), y: Math.round(y), duration: 0, origin: 'viewport' }),
      down: () => act({ type: 'pointerDown', button: 0 }),
      up: () => act({ type: 'pointerUp', button: 0 }),
    };
  }
  get mouse() { return this.pointer('mouse', 'mouse'); }
  get touch() {
    const f = this.pointer('finger', 'touch');
    return { start: async (x, y) => { await f.move(x, y); await f.down(); }, move: f.move, end: f.up };
  }
  download(trigger) { return this.downloadFromLink(trigger); }
  // WebKit's driver answers the file dialog that typing a path into a file input opens.
  async chooseFile(trigger, file) {
    await trigger();
    await this.driver.findElement(By.css('input[type=file]')).sendKeys(file);
  }
  async close() {
    await this.harvest();
    try {
      await this.driver.quit();
    } finally {
      this.driverProcess.kill('SIGKILL');
      this.x.stop();
    }
  }
}

// Opens a browser of `engine`; `fastDisplay` asks for animation frames faster than 60 a second.
// newPage({ width, height, dpr, touch }) opens a page with a fresh profile.
export async function launch(engine, options = {}) {
  const defaults = (o) => ({ width: 1280, height: 1000, dpr: 1, touch: false, ...o });
  let b;
  if (engine === 'chromium') b = await launchChromium(options);
  else if (engine === 'firefox') b = await launchFirefox(options);
  else if (engine === 'webkit') b = { newPage: (o) => WebKitPage.open(o), close: async () => {} };
  else throw new Error('unknown browser engine ' + engine);
  return { engine, lacks: LACKS[engine], newPage: (o = {}) => b.newPage(defaults(o)), close: b.close };
}
