// The audio device of the web page: plays the player's ring of 16-bit
// stereo PCM in an endless loop and counts the frames it has played, which
// the main loop reads as the device position to refill the blocks behind it.
//
// Loaded twice over: as an AudioWorklet module, where it registers the
// processor "ring-player" fed over its message port, and as a plain script
// where AudioWorklet is missing, where a ScriptProcessorNode on the page's
// own thread drives the same RingPlayer.

class RingPlayer {
  // captureFrames > 0 keeps a copy of the first frames played (tests).
  constructor(ringFrames, blockFrames, captureFrames) {
    this.ringFrames = ringFrames;
    this.blockFrames = blockFrames;
    this.ring = new Int16Array(ringFrames * 2);
    // How often each block has been written. Block k played in lap L (from
    // 0) must have been written L + 1 times, else it is stale: an underrun.
    this.writes = new Uint32Array(ringFrames / blockFrames);
    this.position = 0;  // frame of the ring played next
    this.played = 0;    // frames played in all
    this.underruns = 0;
    this.capture = captureFrames > 0 ? new Int16Array(captureFrames * 2) : null;
  }

  // The whole ring, filled before the device starts.
  load(samples) {
    this.ring.set(samples);
    this.writes.fill(1);
  }

  write(block, samples) {
    this.ring.set(samples, block * this.blockFrames * 2);
    this.writes[block] += 1;
  }

  render(left, right) {
    const ring = this.ring;
    const capture = this.capture;
    for (let i = 0; i < left.length; ++i) {
      const p = this.position;
      if (p % this.blockFrames === 0) {
        const lap = Math.floor(this.played / this.ringFrames);
        if (this.writes[p / this.blockFrames] < lap + 1) this.underruns += 1;
      }
      const l = ring[2 * p];
      const r = ring[2 * p + 1];
      left[i] = l / 32768;
      right[i] = r / 32768;
      if (capture && this.played < capture.length / 2) {
        capture[2 * this.played] = l;
        capture[2 * this.played + 1] = r;
      }
      this.position = p + 1 === this.ringFrames ? 0 : p + 1;
      this.played += 1;
    }
  }

  status() {
    return {played: this.played, underruns: this.underruns};
  }

  // What the tests read: the counts and the frames captured so far.
  report() {
    const frames = Math.min(this.played, this.capture ? this.capture.length / 2 : 0);
    const status = this.status();
    status.capture = this.capture ? this.capture.slice(0, frames * 2) : new Int16Array(0);
    return status;
  }
}

if (typeof registerProcessor === 'function') {
  class RingPlayerProcessor extends AudioWorkletProcessor {
    constructor(options) {
      super();
      const o = options.processorOptions;
      this.player = new RingPlayer(o.ringFrames, o.blockFrames, o.captureFrames);
      // The pre-filled ring comes with the options, so it is in place before
      // the first quantum is played.
      this.player.load(o.ring);
      this.quanta = 0;
      this.stopped = false;
      this.port.onmessage = (event) => {
        const m = event.data;
        if (m.type === 'write') this.player.write(m.block, m.samples);
        else if (m.type === 'report') this.port.postMessage({type: 'report', report: this.player.report()});
        else if (m.type === 'stop') this.stopped = true;
      };
    }

    process(inputs, outputs) {
      if (this.stopped) return false;
      const out = outputs[0];
      this.player.render(out[0], out[1] || out[0]);
      // The position goes to the page every few quanta (about every 6 ms),
      // well inside one 20 ms block.
      if (++this.quanta % 2 === 0) this.port.postMessage({type: 'status', status: this.player.status()});
      return true;
    }
  }
  registerProcessor('ring-player', RingPlayerProcessor);
}
