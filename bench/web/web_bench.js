'use strict';
// Frame times of the browser build beside the native ones, scene by scene:
//   node bench/web/web_bench.js --page build/web/bin --native-bin build/native/bin [--frame-ms 17]
// Runs `demo_capture --bench` natively and the whole sequence in headless
// Chromium in the page's test mode with the same fixed frame duration, so
// both draw the same frames. The frames are given to the scenes by the
// native run's frame counts (the sequence is the same frame for frame).
// Prints, per scene, the median frame step (the scene's drawing) on both
// and their ratio, and the browser's whole pass with the presentation into
// the canvas: median and 95th percentile against the 16.7 ms of 60 frames
// per second.
const childProcess = require('child_process');
const path = require('path');
const {Browser, serve} = require('../../tests/web/chromium.js');

function parseArgs() {
  const args = {'frame-ms': '17'};
  const argv = process.argv.slice(2);
  for (let i = 0; i + 1 < argv.length; i += 2) args[argv[i].replace(/^--/, '')] = argv[i + 1];
  if (!args.page || !args['native-bin']) {
    console.error('usage: node web_bench.js --page DIR --native-bin DIR [--frame-ms N]');
    process.exit(2);
  }
  return args;
}

function quantile(sorted, q) {
  if (!sorted.length) return NaN;
  const position = (sorted.length - 1) * q;
  const low = Math.floor(position);
  const high = Math.ceil(position);
  return sorted[low] + (sorted[high] - sorted[low]) * (position - low);
}

function nativeBench(nativeBin, dt) {
  const out = childProcess.execFileSync(path.join(nativeBin, 'demo_capture'), ['--dt', dt, '--bench'],
                                        {cwd: nativeBin, encoding: 'utf8'});
  const scenes = [];
  for (const line of out.split('\n')) {
    const m = /^scene (\d+): (\d+) frames, median ([\d.]+) ms/.exec(line);
    if (m) scenes.push({scene: Number(m[1]), frames: Number(m[2]), median: Number(m[3])});
  }
  return scenes;
}

async function browserBench(page, frameMs) {
  const {server, url} = await serve(page);
  const browser = new Browser(process.env.DEMO_CHROMIUM || '/usr/bin/chromium');
  try {
    const tab = await browser.open(`${url}index.html?frame-ms=${frameMs}&bench=1`);
    await tab.waitFor(`document.getElementById('start') && !document.getElementById('start').hidden`);
    await tab.click('start-button');
    await tab.waitFor('demoTest.ended !== null', 600000);
    return await tab.evaluate('({step: demoTest.stepMs, pass: demoTest.passMs})');
  } finally {
    await browser.close();
    server.close();
  }
}

async function main() {
  const args = parseArgs();
  const frameMs = Math.round(Number(args['frame-ms']));
  const dt = String(frameMs * 0.001);
  const native = nativeBench(path.resolve(args['native-bin']), dt);
  const web = await browserBench(path.resolve(args.page), frameMs);
  // The browser also times the last pass, which only ends the run.
  const total = native.reduce((sum, s) => sum + s.frames, 0);
  if (web.step.length !== total + 1) {
    console.error(`the runs differ: ${total} native frames, ${web.step.length} in the browser`);
    process.exit(1);
  }
  console.log(`frame duration ${frameMs} ms; medians of the frame step (drawing), whole pass = step + presentation`);
  console.log('| scene | frames | native step | browser step | ratio | browser pass median | pass 95th pct | 60 fps |');
  console.log('|---:|---:|---:|---:|---:|---:|---:|:---:|');
  let first = 0;
  for (const s of native) {
    const step = web.step.slice(first, first + s.frames).sort((a, b) => a - b);
    const pass = web.pass.slice(first, first + s.frames).sort((a, b) => a - b);
    first += s.frames;
    const stepMedian = quantile(step, 0.5);
    const pass95 = quantile(pass, 0.95);
    console.log(`| ${s.scene} | ${s.frames} | ${s.median.toFixed(3)} ms | ${stepMedian.toFixed(3)} ms | ` +
                `${(stepMedian / s.median).toFixed(2)} | ${quantile(pass, 0.5).toFixed(3)} ms | ` +
                `${pass95.toFixed(3)} ms | ${pass95 < 1000 / 60 ? 'yes' : 'no'} |`);
  }
}

main().catch((error) => {
  console.error(error.stack || String(error));
  process.exit(1);
});
