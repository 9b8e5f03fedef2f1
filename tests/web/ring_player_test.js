'use strict';
// The page's audio device (RingPlayer in music/audio_web_worklet.js) on its
// own, in node: it plays the ring in a loop, counts the frames, and counts a
// block played again without having been written since its last play as an
// underrun. The expected values are worked out by hand for a ring of three
// blocks of four frames.
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const vm = require('vm');

const source = fs.readFileSync(path.join(__dirname, '../../music/audio_web_worklet.js'), 'utf8');
const context = {};
vm.runInNewContext(source + '\nthis.RingPlayer = RingPlayer;', context);
const {RingPlayer} = context;

// Frame f of the ring holds left = f, right = -f - 1 (so 0 is never both).
function ringSamples(frames, base) {
  const samples = new Int16Array(frames * 2);
  for (let f = 0; f < frames; ++f) {
    samples[2 * f] = base + f;
    samples[2 * f + 1] = -(base + f) - 1;
  }
  return samples;
}

function play(player, frames) {
  const left = new Float32Array(frames);
  const right = new Float32Array(frames);
  player.render(left, right);
  return {left, right};
}

const tests = {
  'plays the ring in a loop as samples / 32768 and counts the frames'() {
    const player = new RingPlayer(12, 4, 0);
    player.load(ringSamples(12, 100));
    const {left, right} = play(player, 5);
    assert.deepStrictEqual(Array.from(left), [100, 101, 102, 103, 104].map((v) => v / 32768));
    assert.deepStrictEqual(Array.from(right), [-101, -102, -103, -104, -105].map((v) => v / 32768));
    assert.strictEqual(player.played, 5);
    assert.strictEqual(player.position, 5);
    play(player, 8);  // through the end of the ring and back to frame 1
    assert.strictEqual(player.played, 13);
    assert.strictEqual(player.position, 1);
  },

  'a block played again without a new write is an underrun, one per block'() {
    const player = new RingPlayer(12, 4, 0);
    player.load(ringSamples(12, 0));
    play(player, 12);  // the first lap: everything written once
    assert.strictEqual(player.underruns, 0);
    player.write(0, ringSamples(4, 500));  // block 0 refilled, blocks 1 and 2 not
    const {left} = play(player, 12);
    assert.strictEqual(player.underruns, 2);
    assert.strictEqual(left[0], 500 / 32768);
    assert.strictEqual(left[4], 4 / 32768);  // block 1's stale frames
  },

  'refills in time: no underrun over several laps, and the capture holds what was played'() {
    const player = new RingPlayer(12, 4, 20);
    player.load(ringSamples(12, 0));
    for (let lap = 1; lap <= 3; ++lap) {
      for (let block = 0; block < 3; ++block) {
        play(player, 4);
        player.write(block, ringSamples(4, 1000 * lap + 4 * block));  // behind the play position
      }
    }
    assert.strictEqual(player.underruns, 0);
    const report = player.report();
    assert.strictEqual(report.played, 36);
    const expected = Array.from(ringSamples(12, 0)).concat(Array.from(ringSamples(4, 1000)), Array.from(ringSamples(4, 1004)));
    assert.deepStrictEqual(Array.from(report.capture), expected);
  },
};

let passed = 0;
let failed = 0;
for (const [name, test] of Object.entries(tests)) {
  try {
    test();
    passed += 1;
    console.log(`ok - ${name}`);
  } catch (error) {
    failed += 1;
    console.log(`not ok - ${name}: ${error.message}`);
  }
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
