// The audio output's queue (src/nox_web/audio_queue.js) in Node: the mixer's samples pass
// unchanged at its own rate, resampled smoothly and without drift at any other, and its counts
// are the ones the page steers by.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { SampleQueue } from '../../src/nox_web/audio_queue.js';

// Fills blocks of `block` samples until `total` output samples are made.
function play(q, total, block = 128) {
  const out = [];
  while (out.length < total) {
    const b = new Float32Array(Math.min(block, total - out.length));
    q.fill(b);
    out.push(...b);
  }
  return out;
}

const ramp = (n, step = 5) => Int16Array.from({ length: n }, (_, i) => i * step);

test('at 22,050 Hz every sample passes unchanged, in blocks of any size', () => {
  const samples = Int16Array.from([0, 1, -1, 32767, -32768, 12345, -2]);
  for (const block of [1, 3, 128]) {
    const q = new SampleQueue(64, 22050);
    q.push(samples);
    assert.deepEqual(play(q, samples.length, block), Array.from(samples, (v) => v / 32768), `block ${block}`);
    assert.deepEqual([q.taken, q.nonzero, q.underrun, q.count], [7, 6, 0, 0]);
  }
});

test('another output rate: linear between neighbouring samples, the same in any blocks, no drift', () => {
  for (const { rate, block } of [{ rate: 44100, block: 128 }, { rate: 44100, block: 7 }, { rate: 48000, block: 128 }, { rate: 16000, block: 5 }]) {
    const q = new SampleQueue(8192, rate);
    const n = 4410;
    q.push(ramp(n));
    const want = Math.floor((n - 1) * rate / 22050);
    const out = play(q, want, block);
    // A ramp of 5 a sample stays a ramp: each output sample at its own place on it.
    const step = 5 / 32768 * 22050 / rate;
    out.forEach((v, i) => assert.ok(Math.abs(v - Math.max(0, i - rate / 22050) * step) < 1e-6, `${rate} Hz, sample ${i}: ${v}`));
    assert.ok(n - q.taken <= 1 + Math.ceil(22050 / rate), `${rate} Hz: ${q.taken} of ${n} taken for ${want} out`);
    assert.equal(q.underrun, 0);
  }
});

test('counts: underruns only once sound has come, overflow dropped, the low-water mark', () => {
  const q = new SampleQueue(100, 22050);
  play(q, 50);
  assert.equal(q.underrun, 0, 'silence before any sound is no underrun');
  assert.equal(q.push(ramp(150, 1)), 50, 'what does not fit is dropped');
  q.low = q.count;
  play(q, 80);
  assert.equal(q.low, 20);
  play(q, 30);
  assert.deepEqual([q.taken, q.underrun, q.low, q.received], [100, 10, 0, 150]);
});
