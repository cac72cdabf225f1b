// The audio output: plays the samples the game's mixer sends from a queue (audio_queue.js),
// silence when the queue runs dry. Reports every two blocks how much it has played and how low
// the queue went, so that the page can keep the queue short but never empty.
import { SampleQueue } from './audio_queue.js';

const QUEUE = 16384;        // mixer samples, about 740 ms
const REPORT_BLOCKS = 2;    // a report every 2 blocks of 128 samples, about 12 ms at 22,050 Hz

class PixbrkOutput extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = new SampleQueue(QUEUE, sampleRate);
    this.blocks = 0;
    this.port.onmessage = (e) => this.queue.push(e.data);
  }

  process(inputs, outputs) {
    const out = outputs[0][0];
    const q = this.queue;
    q.fill(out);
    if (++this.blocks % REPORT_BLOCKS === 0) {
      this.port.postMessage({
        played: q.taken, time: currentTime + out.length / sampleRate,
        nonzero: q.nonzero, underrun: Math.round(q.underrun), low: q.low,
      });
      q.low = q.count;
    }
    return true;
  }
}

registerProcessor('pixbrk-output', PixbrkOutput);
