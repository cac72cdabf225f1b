// The audio output's queue: the 16-bit samples of the game's mixer (22,050 Hz, mono), played at
// the output's own rate. At 22,050 Hz every sample passes through unchanged; an output at
// another rate gets each of its samples interpolated linearly between the two mixer samples
// around it, after the mixer, which stays as it is. The audio worklet (audio.js) plays from it.
export const SOURCE_RATE = 22050;

export class SampleQueue {
  constructor(size, outputRate) {
    this.buf = new Float32Array(size);
    this.head = 0;
    this.count = 0;
    this.step = SOURCE_RATE / outputRate;  // mixer samples per output sample
    this.frac = 0;       // the output's position past `prev`, towards the queue's head
    this.prev = 0;       // the latest mixer sample taken
    this.received = 0;   // mixer samples ever pushed
    this.taken = 0;      // ... and taken to be played
    this.nonzero = 0;    // of those, the ones that were not silent
    this.underrun = 0;   // mixer samples' worth of silence played for want of samples, once they came
    this.low = size;     // the fewest samples left queued after a block, since the caller reset it
  }

  // Queues Int16 samples; what does not fit is dropped. Returns how many were dropped.
  push(samples) {
    const n = Math.min(samples.length, this.buf.length - this.count);
    for (let i = 0; i < n; i++) this.buf[(this.head + this.count + i) % this.buf.length] = samples[i] / 32768;
    this.count += n;
    this.received += samples.length;
    return samples.length - n;
  }

  take() {
    const v = this.buf[this.head];
    this.head = (this.head + 1) % this.buf.length;
    this.count--;
    if (v !== 0) this.nonzero++;
    this.taken++;
    return v;
  }

  // Fills `out`, a block of the output.
  fill(out) {
    for (let i = 0; i < out.length; i++) {
      if (this.step === 1) {
        if (this.count > 0) {
          out[i] = this.take();
          continue;
        }
      } else {
        while (this.frac >= 1 && this.count > 0) {
          this.prev = this.take();
          this.frac -= 1;
        }
        if (this.frac < 1 && this.count > 0) {
          out[i] = this.prev + (this.buf[this.head] - this.prev) * this.frac;
          this.frac += this.step;
          continue;
        }
      }
      out[i] = 0;
      if (this.received !== 0) this.underrun += this.step;
    }
    this.low = Math.min(this.low, this.count);
  }
}
