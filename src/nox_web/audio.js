// The audio output: plays the 16-bit samples the game's mixer sends (22,050 Hz, mono) from a
// queue, silence when the queue runs dry. Reports every few blocks how much it has played, so
// the page can keep the queue short, and when a sound begins after silence, so the page can tell
// how long after its frame an effect was heard.
'use strict';

const QUEUE = 16384;        // samples, about 740 ms
const REPORT_BLOCKS = 4;    // a report every 4 blocks of 128 samples, about 23 ms
const ONSET_SILENCE = 2048; // a sound after this many silent samples counts as a new one

class PixbrkOutput extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = new Float32Array(QUEUE);
    this.head = 0;
    this.count = 0;
    this.received = 0; // samples ever received
    this.played = 0;   // samples ever taken from the queue
    this.nonzero = 0;  // of those, samples that were not silent
    this.underrun = 0; // samples of silence played for want of samples, once sound had started
    this.quiet = ONSET_SILENCE;
    this.blocks = 0;
    this.port.onmessage = (e) => this.receive(e.data);
  }

  receive(samples) {
    for (let i = 0; i < samples.length; i++) {
      if (this.count === QUEUE) break;
      this.queue[(this.head + this.count) % QUEUE] = samples[i] / 32768;
      this.count++;
    }
    this.received += samples.length;
  }

  process(inputs, outputs) {
    const out = outputs[0][0];
    for (let i = 0; i < out.length; i++) {
      if (this.count === 0) {
        out[i] = 0;
        if (this.received !== 0) this.underrun++;
        continue;
      }
      const v = this.queue[this.head];
      this.head = (this.head + 1) % QUEUE;
      this.count--;
      out[i] = v;
      if (v !== 0) {
        if (this.quiet >= ONSET_SILENCE) {
          this.port.postMessage({ onset: this.played, time: currentTime + i / sampleRate });
        }
        this.quiet = 0;
        this.nonzero++;
      } else {
        this.quiet++;
      }
      this.played++;
    }
    if (++this.blocks % REPORT_BLOCKS === 0) {
      this.port.postMessage({
        played: this.played, time: currentTime + out.length / sampleRate,
        nonzero: this.nonzero, underrun: this.underrun,
      });
    }
    return true;
  }
}

registerProcessor('pixbrk-output', PixbrkOutput);
