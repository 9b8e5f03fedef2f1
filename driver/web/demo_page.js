'use strict';
// The page around the demo's module (demo.js, demo.wasm). It fetches the
// data files into the module's file system, waits for the click that lets
// the browser start sound, opens the audio context at the mix rate, and
// shows the end card when the run ends.
//
// Test mode, from the address: ?frame-ms=N runs with a fixed frame duration
// of N ms instead of the browser's clock; stops=T1,T2,... holds the run at
// the first frame drawn at each clock time; capture-seconds=S keeps a copy
// of the first S seconds of sound played; audio=script plays through a
// ScriptProcessorNode even where AudioWorklet exists; bench=1 keeps the time
// each frame took. The tests and the benchmark drive these through
// window.demoTest.

const mixRate = 44100;
// In the order the demo reads them. A missing file is left out: the demo
// reports it (or, for the music, plays silently) and runs on.
const dataFiles = ['lu09.df', 'fernoth.df', 'model.hax', 'mask.raw', 'part.raw', 'bolinde.df', 'wex.df', 'talmek.df',
                   'quenvar2.xm'];

const params = new URLSearchParams(location.search);
const element = (id) => document.getElementById(id);

function showCard(id) {
  for (const card of ['start', 'loading', 'end', 'failure']) element(card).hidden = card !== id;
}

function fail(text) {
  element('failure-text').textContent = text;
  showCard('failure');
}

// Test mode's controls, read by the demo's module and by the test driver.
function makeTestControls() {
  const frameMs = Number(params.get('frame-ms') || 0);
  if (!(frameMs > 0)) return null;
  const stops = (params.get('stops') || '').split(',').filter((s) => s !== '').map(Number);
  const test = {
    frameMs: Math.round(frameMs),
    paused: false,
    pausedAt: null,
    frames: 0,
    waiting: null,
    ended: null,
    // With bench=1: per frame, the frame step's and the whole pass's
    // milliseconds.
    stepMs: params.get('bench') === '1' ? [] : null,
    passMs: [],
    frameShown(clock, stepMs, passMs) {
      this.frames += 1;
      if (this.stepMs) {
        this.stepMs.push(stepMs);
        this.passMs.push(passMs);
      }
      if (stops.length && clock >= stops[0]) {
        stops.shift();
        this.paused = true;
        this.pausedAt = clock;
        if (this.waiting) this.waiting();
      }
    },
    // Resolves with the clock of the frame on the canvas once the run holds.
    waitForStop() {
      if (this.paused) return Promise.resolve(this.pausedAt);
      return new Promise((resolve) => { this.waiting = () => { this.waiting = null; resolve(this.pausedAt); }; });
    },
    resume() {
      this.paused = false;
    },
    // The picture as the page shows it at 640 x 480: the picture canvas
    // scaled up nearest-neighbour and the overlay canvas, when shown, over
    // it. Base64 of the RGB bytes, row after row, and the number of pixels
    // that are not fully opaque.
    canvas() {
      const composed = document.createElement('canvas');
      composed.width = 640;
      composed.height = 480;
      const context = composed.getContext('2d');
      context.imageSmoothingEnabled = false;
      context.drawImage(element('screen'), 0, 0, 640, 480);
      if (!element('screen-overlay').hidden) context.drawImage(element('screen-overlay'), 0, 0, 640, 480);
      const data = context.getImageData(0, 0, 640, 480).data;
      let text = '';
      let seeThrough = 0;
      const chunk = new Uint8Array(3 * 4096);
      for (let start = 0; start < data.length; start += 4 * 4096) {
        const count = Math.min(4096, (data.length - start) / 4);
        for (let i = 0; i < count; ++i) {
          chunk[3 * i] = data[start + 4 * i];
          chunk[3 * i + 1] = data[start + 4 * i + 1];
          chunk[3 * i + 2] = data[start + 4 * i + 2];
          if (data[start + 4 * i + 3] !== 255) seeThrough += 1;
        }
        text += String.fromCharCode.apply(null, chunk.subarray(0, 3 * count));
      }
      return {rgb: btoa(text), seeThrough: seeThrough};
    },
    // The audio device's counts and captured frames (16-bit little-endian
    // stereo, base64), or null without sound.
    async audio() {
      if (!Module.audioReport) return null;
      const report = await Module.audioReport();
      const bytes = new Uint8Array(report.capture.buffer, report.capture.byteOffset, report.capture.byteLength);
      let text = '';
      for (let start = 0; start < bytes.length; start += 8192) {
        text += String.fromCharCode.apply(null, bytes.subarray(start, start + 8192));
      }
      return {played: report.played, underruns: report.underruns, capture: btoa(text)};
    },
  };
  return test;
}

// Creates the audio context inside the click (browsers start sound only
// from a gesture) and loads the ring player into it. Without Web Audio, or
// when it fails, the demo runs silently.
async function openAudio() {
  const AudioContextType = window.AudioContext || window.webkitAudioContext;
  if (!AudioContextType) return;
  let context;
  try {
    context = new AudioContextType({sampleRate: mixRate});
    context.resume();
  } catch (error) {
    console.warn('no audio: ' + error);
    return;
  }
  try {
    if (context.audioWorklet && params.get('audio') !== 'script') {
      await context.audioWorklet.addModule('audio_web_worklet.js');
      Module.audioWorkletReady = true;
    } else {
      await new Promise((resolve, reject) => {
        const script = document.createElement('script');
        script.src = 'audio_web_worklet.js';
        script.onload = resolve;
        script.onerror = reject;
        document.head.appendChild(script);
      });
    }
    Module.audioContext = context;
  } catch (error) {
    console.warn('no audio: ' + error);
    context.close();
  }
}

async function fetchDataFile(name) {
  try {
    const response = await fetch(name);
    if (!response.ok) return;
    const bytes = new Uint8Array(await response.arrayBuffer());
    Module.FS.writeFile('/' + name, bytes);
  } catch (error) {
    console.warn(name + ': ' + error);
  }
}

// While the page is hidden the browser stops the animation frames, and with
// them the refilling of the audio ring: the sound is suspended and the time
// spent hidden is left out of the demo's clock, so pictures and music carry
// on together where they stopped.
let hiddenSince = null;
let hiddenTotal = 0;
document.addEventListener('visibilitychange', () => {
  const context = Module.audioContext;
  if (document.hidden && hiddenSince === null) {
    hiddenSince = performance.now();
    if (context) context.suspend();
  } else if (!document.hidden && hiddenSince !== null) {
    hiddenTotal += performance.now() - hiddenSince;
    hiddenSince = null;
    if (context) context.resume();
  }
});

const demoTest = makeTestControls();
window.demoTest = demoTest;

var Module = {
  demoTest: demoTest,
  audioContext: null,
  // Milliseconds for the demo's clock: the page's time less the time spent
  // hidden.
  demoNow: () => (hiddenSince === null ? performance.now() : hiddenSince) - hiddenTotal,
  audioWorkletReady: false,
  audioCaptureFrames: Math.round(Number(params.get('capture-seconds') || 0) * mixRate),
  print: (line) => console.log(line),
  printErr: (line) => console.warn(line),
  preRun: [() => {
    // main runs once the files are in and the visitor has clicked.
    Module.addRunDependency('data files');
    Promise.all(dataFiles.map(fetchDataFile)).then(() => Module.removeRunDependency('data files'));
    Module.addRunDependency('start click');
    showCard('start');
    element('start-button').addEventListener('click', async () => {
      element('start-button').disabled = true;
      await openAudio();
      showCard(null);
      Module.removeRunDependency('start click');
    }, {once: true});
  }],
  onFatalError: (text) => fail(text),
  onAbort: (what) => fail('The demo stopped: ' + what),
  onDemoEnd: (exitCode) => {
    showCard('end');
    if (demoTest) demoTest.ended = exitCode;
  },
};

element('again-button').addEventListener('click', () => location.reload());
window.addEventListener('error', (event) => {
  if (event.target && event.target.tagName === 'SCRIPT') fail('The demo could not be loaded.');
}, true);
if (typeof WebAssembly !== 'object') fail('This browser cannot run WebAssembly.');
