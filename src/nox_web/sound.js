// The sound: Web Audio from the first tap or key on, fed with what the game's mixer makes each
// display frame (the audio worklet, audio.js, plays it from a queue).
//
// Browsers start sound only after the player has touched the page; until then the game plays
// silently (host.cpp keeps the mixer going by the clock).
import { notice } from './page.js';

const SOUND_RATE = 22050;
const SOUND_LEAD_S = 1 / 60 + 0.010;     // queued ahead: one display frame and a margin
const SOUND_START_MS = 1000;             // the mixer waits this long for the output to start
const ONSET_SILENCE = 2048;              // as in audio.js

const sound = {
  ctx: null, node: null, startMs: 0, sent: 0, report: null, quiet: ONSET_SILENCE,
  onsets: new Map(), latencies: [], frameMs: 0,
};

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
    // The smallest output buffer the device allows: an effect is heard soon after its frame.
    sound.ctx = new Context({ sampleRate: SOUND_RATE, latencyHint: 0 });
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
    node.port.onmessage = (e) => soundReport(e.data);
    node.connect(ctx.destination);
    sound.node = node;
    if (ctx.state !== 'running') ctx.resume();
  }).catch((e) => console.warn('PIXEL BREAKER: no sound: ' + e));
  document.addEventListener('visibilitychange', () => {
    if (document.hidden) ctx.suspend();
    else ctx.resume();
  });
}

function soundReport(m) {
  if (m.onset === undefined) {
    sound.report = m;
    return;
  }
  // A sound that began after silence: how long after the frame that asked for it it is heard.
  const frameMs = sound.onsets.get(m.onset);
  if (frameMs === undefined) return;
  sound.onsets.delete(m.onset);
  const ctx = sound.ctx;
  const ts = ctx.getOutputTimestamp ? ctx.getOutputTimestamp() : null;
  let heardMs;
  if (ts && ts.performanceTime > 0) {
    heardMs = ts.performanceTime + (m.time - ts.contextTime) * 1000;
  } else {
    heardMs = performance.now() + (m.time - ctx.currentTime + (ctx.baseLatency || 0) + (ctx.outputLatency || 0)) * 1000;
  }
  sound.latencies.push(heardMs - frameMs);
  if (sound.latencies.length > 1000) sound.latencies.shift();
}

// Bytes the output wants: what keeps SOUND_LEAD_S queued; -1 while there is no output. While
// the output is starting the mixer waits, so that the effect of the first tap is heard.
// frameMs, when the animation frame that ran the game began, is where an effect's delay counts from.
export function soundWanted(frameMs) {
  const ctx = sound.ctx;
  sound.frameMs = frameMs;
  if (!sound.node || ctx.state !== 'running') {
    return ctx && ctx.state !== 'none' && performance.now() - sound.startMs < SOUND_START_MS ? 0 : -1;
  }
  let played = 0;
  if (sound.report) {
    played = sound.report.played + Math.max(0, ctx.currentTime - sound.report.time) * SOUND_RATE;
  }
  const queued = Math.max(0, sound.sent - played);
  return Math.max(0, Math.ceil(SOUND_LEAD_S * SOUND_RATE - queued)) * 2;
}

export function soundPush(samples) {
  for (let i = 0; i < samples.length; i++) {
    if (samples[i] === 0) {
      sound.quiet++;
      continue;
    }
    if (sound.quiet >= ONSET_SILENCE) {
      if (sound.onsets.size > 64) sound.onsets.clear();  // reports lost with a stopped output
      sound.onsets.set(sound.sent + i, sound.frameMs);
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
  latencies: sound.latencies.slice(),
  outputMs: sound.ctx && sound.ctx.state !== 'none' ? ((sound.ctx.baseLatency || 0) + (sound.ctx.outputLatency || 0)) * 1000 : 0,
});
