'use strict';
// The browser build in headless Chromium, against the native programs:
//   node web_test.js --page DIR --native-bin DIR --work DIR [--module FILE]
// --page is the built page (build/web/bin), --native-bin the native bin/
// folder with demo_capture, xm2wav and the data files; --module is the
// music served as quenvar2.xm when the page has none of its own.
//
// 1. Pictures: the page's test mode runs with a fixed frame duration and
//    holds at given clock times; the canvases, and the page as the browser
//    shows it at 640 x 480, then equal demo_capture's frame for the same
//    time, pixel for pixel.
// 2. Sound: the device played frames without an underrun, and what it
//    played from the start equals xm2wav's rendering of the same module.
//    Both are checked for the AudioWorklet and for the ScriptProcessorNode
//    fallback.
// 3. Keys: Space writes the clock to the console; Escape ends the run and
//    shows the end card.
// Exits 77 when the browser or the builds are missing.
const childProcess = require('child_process');
const fs = require('fs');
const path = require('path');
const {Browser, Report, serve, skip} = require('./chromium.js');

const frameMs = 50;
const stops = [0, 7.5, 12, 16.45, 24, 30.5, 45, 62];
const captureSeconds = 8;
const mixRate = 44100;

const checks = new Report();
const check = (...result) => checks.check(...result);

function parseArgs() {
  const args = {};
  const argv = process.argv.slice(2);
  for (let i = 0; i + 1 < argv.length; i += 2) args[argv[i].replace(/^--/, '')] = argv[i + 1];
  for (const name of ['page', 'native-bin', 'work']) {
    if (!args[name]) {
      console.error('usage: node web_test.js --page DIR --native-bin DIR --work DIR [--module FILE]');
      process.exit(2);
    }
  }
  return args;
}


function run(command, args, options = {}) {
  const result = childProcess.spawnSync(command, args, Object.assign({encoding: 'buffer'}, options));
  if (result.status !== 0) {
    throw new Error(`${command} ${args.join(' ')} failed: ${result.stderr || result.error}`);
  }
  return result.stdout;
}

// RGB bytes of a PNG file, through ImageMagick.
function pngRgb(file) {
  return run('convert', [file, '-depth', '8', 'rgb:-'], {maxBuffer: 1 << 24});
}

function firstDifference(actual, expected, width) {
  if (actual.length !== expected.length) return `${actual.length} bytes, expected ${expected.length}`;
  let count = 0;
  let first = -1;
  for (let i = 0; i < actual.length; i += 3) {
    if (actual[i] !== expected[i] || actual[i + 1] !== expected[i + 1] || actual[i + 2] !== expected[i + 2]) {
      if (first < 0) first = i / 3;
      count += 1;
    }
  }
  if (count === 0) return null;
  const at = (b, i) => `(${b[3 * i]}, ${b[3 * i + 1]}, ${b[3 * i + 2]})`;
  return `${count} pixels differ, first at (${first % width}, ${Math.floor(first / width)}): ` +
         `${at(actual, first)}, expected ${at(expected, first)}`;
}

// The PCM samples of a 16-bit WAV file as an Int16Array.
function wavSamples(file) {
  const data = fs.readFileSync(file);
  for (let offset = 12; offset + 8 <= data.length;) {
    const id = data.toString('ascii', offset, offset + 4);
    const size = data.readUInt32LE(offset + 4);
    if (id === 'data') {
      const bytes = data.subarray(offset + 8, offset + 8 + size);
      return new Int16Array(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
    }
    offset += 8 + size + (size & 1);
  }
  throw new Error(`${file}: no data chunk`);
}

function comparePcm(actual, expected) {
  const n = Math.min(actual.length, expected.length);
  for (let i = 0; i < n; ++i) {
    if (actual[i] !== expected[i]) {
      const frame = Math.floor(i / 2);
      return `frame ${frame} (${(frame / mixRate).toFixed(4)} s) ${i % 2 ? 'right' : 'left'}: ` +
             `${actual[i]}, expected ${expected[i]}`;
    }
  }
  return null;
}

// `viewport`, when given, sets the page's size in pixels, one device pixel
// each.
async function startPage(browser, url, viewport = null) {
  const page = await browser.open(url);
  if (viewport) {
    await page.send('Emulation.setDeviceMetricsOverride',
                    {width: viewport.width, height: viewport.height, deviceScaleFactor: 1, mobile: false});
  }
  await page.waitFor(`document.getElementById('start') && !document.getElementById('start').hidden`);
  await page.click('start-button');
  return page;
}

async function audioReport(page) {
  const report = await page.evaluate('demoTest.audio()');
  if (!report) return null;
  const bytes = Buffer.from(report.capture, 'base64');
  report.capture = new Int16Array(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
  return report;
}

// Waits until the device has played `frames` frames.
async function waitForPlayed(page, frames) {
  await page.waitFor(`Module.audioDevice && Module.audioDevice.played >= ${frames}`, 60000);
}

function checkAudio(label, report, reference, seconds) {
  check(`${label}: the page has sound`, report !== null);
  if (!report) return;
  check(`${label}: the device played the ring`, report.played >= seconds * mixRate, `${report.played} frames`);
  check(`${label}: no underrun`, report.underruns === 0, `${report.underruns} stale blocks played`);
  const wanted = seconds * mixRate * 2;
  const difference = report.capture.length < wanted ? `captured ${report.capture.length / 2} frames` :
                                                      comparePcm(report.capture.subarray(0, wanted), reference);
  check(`${label}: the sound played equals xm2wav's from the start`, difference === null, difference);
}

async function main() {
  const args = parseArgs();
  const page = path.resolve(args.page);
  const nativeBin = path.resolve(args['native-bin']);
  const work = path.resolve(args.work);
  const chromium = process.env.DEMO_CHROMIUM || '/usr/bin/chromium';
  if (!fs.existsSync(chromium)) skip(`no Chromium at ${chromium}`);
  if (!fs.existsSync(path.join(page, 'demo.wasm'))) skip(`no browser build in ${page}`);
  for (const tool of ['demo_capture', 'xm2wav']) {
    if (!fs.existsSync(path.join(nativeBin, tool))) skip(`no ${tool} in ${nativeBin}`);
  }
  fs.rmSync(work, {recursive: true, force: true});
  fs.mkdirSync(work, {recursive: true});

  // The music: the demo's own, else the test module.
  const pageMusic = path.join(page, 'quenvar2.xm');
  const music = fs.existsSync(pageMusic) ? pageMusic : args.module;
  if (!music || !fs.existsSync(music)) skip('no music module to play');
  const overrides = music === pageMusic ? {} : {'quenvar2.xm': music};

  // What the native build draws and plays.
  const dt = String(frameMs * 0.001);
  run(path.join(nativeBin, 'demo_capture'), ['--dt', dt, '--at', stops.join(','), '--out', work], {cwd: nativeBin});
  const referenceWav = path.join(work, 'reference.wav');
  run(path.join(nativeBin, 'xm2wav'), [music, referenceWav, '--seconds', String(captureSeconds + 1)]);
  const reference = wavSamples(referenceWav);

  const {server, url} = await serve(page, overrides);
  const browser = new Browser(chromium);
  try {
    const query = `frame-ms=${frameMs}&stops=${stops.join(',')}&capture-seconds=${captureSeconds}`;
    const demo = await startPage(browser, `${url}index.html?${query}`, {width: 640, height: 480});
    for (const stop of stops) {
      const clock = await demo.evaluate('demoTest.waitForStop()', 120000);
      const expected = pngRgb(path.join(work, `frame-${stop.toFixed(3)}.png`));
      const canvas = await demo.evaluate('demoTest.canvas()');
      const actual = Buffer.from(canvas.rgb, 'base64');
      // A pixel the canvas keeps see-through shows the page behind it.
      let difference = canvas.seeThrough ? `canvases: ${canvas.seeThrough} pixels not opaque` :
                                           firstDifference(actual, expected, 640);
      if (difference) {
        fs.writeFileSync(path.join(work, `canvas-${stop.toFixed(3)}.rgb`), actual);
      } else {
        // What the viewer sees: the browser itself scales the picture canvas
        // and lays the mask canvas over it.
        const shot = path.join(work, `page-${stop.toFixed(3)}.png`);
        await demo.screenshot(shot, {x: 0, y: 0, width: 640, height: 480, scale: 1});
        difference = firstDifference(pngRgb(shot), expected, 640);
        if (difference) difference = `the page as shown: ${difference}`;
      }
      check(`picture at clock ${stop} (frame at ${clock.toFixed(3)}) equals demo_capture's`, difference === null,
            difference);
      await demo.evaluate('demoTest.resume()');
    }

    await waitForPlayed(demo, captureSeconds * mixRate);
    checkAudio('AudioWorklet', await audioReport(demo), reference, captureSeconds);

    // Space: the clock on the console, as the other programs print it.
    const before = demo.console.length;
    await demo.key('Space');
    await demo.waitFor('true');
    const printed = demo.console.slice(before).filter((line) => /^\d+(\.\d+)?(e[-+]\d+)?$/.test(line));
    check('Space writes the clock to the console', printed.length > 0 && Number(printed[0]) > stops[stops.length - 1],
          JSON.stringify(demo.console.slice(before)));

    // Escape: the run ends with code 0 and the end card shows; the sound stops.
    await demo.key('Escape');
    const ended = await demo.waitFor(`demoTest.ended !== null && {code: demoTest.ended,` +
                                     ` card: !document.getElementById('end').hidden}`, 10000).catch(() => null);
    check('Escape ends the run and shows the end card', ended && ended.code === 0 && ended.card,
          JSON.stringify(ended));
    await demo.screenshot(path.join(work, 'end-card.png'));
    check('no script errors on the page', demo.errors.length === 0, demo.errors.join('; '));

    // The fallback where AudioWorklet is missing.
    const fallback = await startPage(browser, `${url}index.html?frame-ms=${frameMs}&capture-seconds=3&audio=script`);
    await waitForPlayed(fallback, 3 * mixRate);
    checkAudio('ScriptProcessorNode', await audioReport(fallback), reference, 3);
  } catch (error) {
    check('the browser run', false, error.stack || String(error));
  } finally {
    await browser.close();
    server.close();
  }
  checks.finish();
}

main();
