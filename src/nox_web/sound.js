// The sound: Web Audio from the first tap or key on, fed with what the game's mixer makes (the
// audio worklet, audio.js, plays it from a queue).
//
// Browsers start sound only after the player has touched the page; until then the game plays
// silently (host.cpp keeps the mixer going by the clock). Each display frame tops the queue up
// to `lead`; between display frames the worklet's reports top it up when it runs low, so that a
// late display frame is no gap. Outputs that take their samples in bursts larger than the queue
// (some engines' sound servers) make it run low, below two blocks: then `lead` grows by a block,
// and shrinks back once the output has been steady for a while.
import { notice } from './page.js';
import { SOURCE_RATE } from './audio_queue.js';

const FRAME = Math.ceil(SOURCE_RATE / 60);       // samples of one display frame
const BLOCK = 128;                               // the worklet's block
const LEAD_MIN = FRAME + Math.ceil(0.010 * SOURCE_RATE);  // one display frame and a margin
const LEAD_MAX = Math.ceil(0.150 * SOURCE_RATE);  // what the burstiest output here needs
const STEADY_MS = 15000;                         // steady this long: the lead shrinks by a block
const SOUND_START_MS = 2000;                     // the mixer waits this long for the output to start (Firefox: 1.2 s)
const SETTLE_MS = 2000;                          // the output's start-up, not counted in `underrunSince`
const ONSET_SILENCE = 2048;                      // a sound after this many silent samples is a new one

const sound = {
  ctx: null, node: null, startMs: 0, sent: 0, report: null, quiet: ONSET_SILENCE,
  latencies: [], frameMs: 0,
  lead: LEAD_MIN, lowAtMs: 0, runningMs: 0, underrunAtStart: -1,
};
let feed = () => {};  // mixes what the queue wants now, between display frames

// The page's hook into the mixer, for the top-ups between display frames.
export const soundFeed = (f) => { feed = f; };

// The smallest output buffer the device allows: an effect is heard soon after its frame. An
// engine that will not run at the mixer's rate gets its own rate, and the worklet resamples.
function makeContext(Context) {
  try {
    return new Context({ sampleRate: SOURCE_RATE, latencyHint: 0 });
  } catch (e) {
    return new Context({ latencyHint: 0 });
  }
}

export function startSound() {
  if (sound.ctx) {
    if (sound.ctx.state === 'suspended' && !document.hidden) sound.ctx.resume();
    return;
  }
  const Context = window.AudioContext || window.webkitAudioContext;
  if (!Context || !window.AudioWorkletNode) {
    sound.ctx = { state: 'none' };
    notice('This browser has no Web Audio worklets: the game plays without sound.', 8);
    return;
  }
  try {
    sound.ctx = makeContext(Context);
    sound.startMs = performance.now();
  } catch (e) {
    sound.ctx = { state: 'none' };
    notice('Sound could not be started (' + e.message + '): the game plays without sound.', 8);
    return;
  }
  const ctx = sound.ctx;
  ctx.audioWorklet.addModule('audio.js').then(() => {
    const node = new AudioWorkletNode(ctx, 'pixbrk-output',
      { numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [1] });
    node.port.onmessage = (e) => queueReport(e.data);
    node.connect(ctx.destination);
    sound.node = node;
    if (ctx.state !== 'running') ctx.resume();
  }).catch((e) => console.warn('PIXEL BREAKER: no sound: ' + e));
  document.addEventListener('visibilitychange', () => {
    if (document.hidden) ctx.suspend();
    else ctx.resume();
  });
}

// A report of the worklet: how much it has played, and how low its queue went meanwhile.
function queueReport(m) {
  const now = performance.now();
  if (sound.runningMs === 0) sound.runningMs = now;
  const settled = now - sound.runningMs >= SETTLE_MS;
  if (sound.underrunAtStart < 0 && settled) sound.underrunAtStart = m.underrun;
  if (sound.report && m.played > sound.report.played && m.low < 2 * BLOCK) {
    sound.lead = Math.min(LEAD_MAX, sound.lead + BLOCK);
    sound.lowAtMs = now;
  } else if (now - sound.lowAtMs > STEADY_MS && sound.lead > LEAD_MIN) {
    sound.lead -= BLOCK;
    sound.lowAtMs = now;
  }
  sound.report = m;
  feed();
}

// The samples the worklet has played by now, as far as the page can tell.
function playedBy(ctx) {
  if (!sound.report) return 0;
  return Math.min(sound.sent, sound.report.played + Math.max(0, ctx.currentTime - sound.report.time) * SOURCE_RATE);
}
const queued = (ctx) => sound.sent - playedBy(ctx);

// Bytes the output wants: at a display frame (frameMs, when the animation frame that ran the
// game began, where an effect's delay counts from) what keeps `lead` queued; between frames
// (frameMs < 0) what keeps one display frame less, so that only a queue running low is topped
// up and an effect waits no longer. -1 while there is no output; while the output is starting
// the mixer waits, so that the effect of the first tap is heard.
export function soundWanted(frameMs) {
  const ctx = sound.ctx;
  if (frameMs >= 0) sound.frameMs = frameMs;
  if (!sound.node || ctx.state !== 'running') {
    return ctx && ctx.state !== 'none' && performance.now() - sound.startMs < SOUND_START_MS ? 0 : -1;
  }
  const target = frameMs >= 0 ? sound.lead : sound.lead - FRAME;
  return Math.max(0, Math.ceil(target - queued(ctx))) * 2;
}

// Hands samples to the worklet. A sound that begins after silence is an effect the latest frame
// asked for: how long after that frame's start it leaves for the device is its wait until now,
// the samples queued before it and the graph's own block. (Firefox can hang the page for good in
// getOutputTimestamp() and outputLatency while it plays: the page asks neither.)
export function soundPush(samples) {
  let ahead = -1;
  for (let i = 0; i < samples.length; i++) {
    if (samples[i] === 0) {
      sound.quiet++;
      continue;
    }
    if (sound.quiet >= ONSET_SILENCE) {
      if (ahead < 0) ahead = sound.sent - playedBy(sound.ctx);
      const ms = performance.now() - sound.frameMs + (ahead + i) * 1000 / SOURCE_RATE + (sound.ctx.baseLatency || 0) * 1000;
      sound.latencies.push(ms);
      if (sound.latencies.length > 1000) sound.latencies.shift();
    }
    sound.quiet = 0;
  }
  sound.sent += samples.length;
  sound.node.port.postMessage(samples, [samples.buffer]);
}

// What the measurements read (window.pixbrk.sound()).
export const soundStats = () => ({
  state: sound.ctx ? sound.ctx.state : 'not started',
  sent: sound.sent,
  played: sound.report ? sound.report.played : 0,
  nonzero: sound.report ? sound.report.nonzero : 0,
  underrun: sound.report ? sound.report.underrun : 0,
  // after the output's first SETTLE_MS of running
  underrunSince: sound.report && sound.underrunAtStart >= 0 ? sound.report.underrun - sound.underrunAtStart : 0,
  lead: sound.lead,
  rate: sound.ctx && sound.ctx.sampleRate ? sound.ctx.sampleRate : 0,
  latencies: sound.latencies.slice(),
});

// The device's own latency, which Firefox may hang on while it plays: for measurements only.
export const outputLatencyMs = () => (sound.ctx && sound.ctx.outputLatency ? sound.ctx.outputLatency * 1000 : 0);
