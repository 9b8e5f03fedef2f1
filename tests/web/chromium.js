'use strict';
// Headless Chromium driven through the DevTools protocol over
// --remote-debugging-pipe (commands on its fd 3, answers on its fd 4, each
// message JSON ended by a NUL byte), and a static file server on 127.0.0.1
// for the page. Node's own modules only.
const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');

const contentTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
};

// Serves `root` on a free port of 127.0.0.1; `overrides` maps a file name
// to the path served in its place (a test module as the demo's music).
function serve(root, overrides = {}) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname).replace(/^\/+/, '') || 'index.html';
    const file = overrides[name] || path.join(root, path.normalize(name));
    if (!overrides[name] && !file.startsWith(root)) {
      response.writeHead(403).end();
      return;
    }
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404).end();
        return;
      }
      response.writeHead(200, {'Content-Type': contentTypes[path.extname(name)] || 'application/octet-stream'});
      response.end(data);
    });
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve({server, url: `http://127.0.0.1:${server.address().port}/`}));
  });
}

class Browser {
  constructor(binary = '/usr/bin/chromium') {
    this.profile = fs.mkdtempSync(path.join(os.tmpdir(), 'demo-chromium-'));
    const args = ['--headless', '--disable-gpu', '--no-first-run', '--disable-background-networking',
                  '--disable-component-update', '--disable-sync', `--user-data-dir=${this.profile}`,
                  '--autoplay-policy=no-user-gesture-required', '--remote-debugging-pipe', 'about:blank'];
    if (process.getuid && process.getuid() === 0) args.unshift('--no-sandbox');
    this.child = childProcess.spawn(binary, args, {stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe']});
    this.stderr = '';
    this.child.stderr.on('data', (chunk) => { this.stderr = (this.stderr + chunk).slice(-4000); });
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    this.exited = new Promise((resolve) => this.child.on('exit', resolve));
    let buffered = Buffer.alloc(0);
    this.child.stdio[4].on('data', (chunk) => {
      buffered = Buffer.concat([buffered, chunk]);
      for (let end = buffered.indexOf(0); end >= 0; end = buffered.indexOf(0)) {
        const message = JSON.parse(buffered.subarray(0, end).toString('utf8'));
        buffered = buffered.subarray(end + 1);
        this.dispatch(message);
      }
    });
    this.exited.then(() => {
      for (const {reject} of this.pending.values()) reject(new Error('chromium exited: ' + this.stderr));
      this.pending.clear();
    });
  }

  dispatch(message) {
    if (message.id !== undefined) {
      const call = this.pending.get(message.id);
      this.pending.delete(message.id);
      if (!call) return;
      if (message.error) call.reject(new Error(`${call.method}: ${message.error.message}`));
      else call.resolve(message.result);
      return;
    }
    for (const listener of this.listeners) listener(message);
  }

  send(method, params = {}, sessionId = undefined) {
    const id = this.nextId++;
    const message = {id, method, params};
    if (sessionId) message.sessionId = sessionId;
    return new Promise((resolve, reject) => {
      this.pending.set(id, {resolve, reject, method});
      this.child.stdio[3].write(JSON.stringify(message) + '\0');
    });
  }

  on(listener) {
    this.listeners.push(listener);
  }

  // A new tab showing `url`, with a session on it.
  async open(url) {
    const {targetId} = await this.send('Target.createTarget', {url: 'about:blank'});
    const {sessionId} = await this.send('Target.attachToTarget', {targetId, flatten: true});
    const page = new Page(this, sessionId);
    await page.send('Runtime.enable');
    await page.send('Page.enable');
    await page.send('Page.navigate', {url});
    return page;
  }

  async close() {
    try {
      await Promise.race([this.send('Browser.close'), new Promise((resolve) => setTimeout(resolve, 3000))]);
    } catch (error) {
      // already gone
    }
    const timer = setTimeout(() => this.child.kill('SIGKILL'), 3000);
    await this.exited;
    clearTimeout(timer);
    fs.rmSync(this.profile, {recursive: true, force: true});
  }
}

class Page {
  constructor(browser, sessionId) {
    this.browser = browser;
    this.sessionId = sessionId;
    this.console = [];
    this.errors = [];
    browser.on((message) => {
      if (message.sessionId !== sessionId) return;
      if (message.method === 'Runtime.consoleAPICalled') {
        this.console.push(message.params.args.map((a) => (a.value !== undefined ? String(a.value) : a.description)).join(' '));
      } else if (message.method === 'Runtime.exceptionThrown') {
        this.errors.push(message.params.exceptionDetails.exception?.description || message.params.exceptionDetails.text);
      }
    });
  }

  send(method, params = {}) {
    return this.browser.send(method, params, this.sessionId);
  }

  // The value of a JavaScript expression in the page, promises awaited.
  async evaluate(expression, timeoutMs = 30000) {
    const call = this.send('Runtime.evaluate', {expression, awaitPromise: true, returnByValue: true});
    let timer;
    const timeout = new Promise((resolve, reject) => {
      timer = setTimeout(() => reject(new Error(`timed out: ${expression}`)), timeoutMs);
    });
    const result = await Promise.race([call, timeout]).finally(() => clearTimeout(timer));
    if (result.exceptionDetails) {
      throw new Error(`${expression}: ${result.exceptionDetails.exception?.description || result.exceptionDetails.text}`);
    }
    return result.result.value;
  }

  // Polls `expression` until it is truthy.
  async waitFor(expression, timeoutMs = 30000) {
    const end = Date.now() + timeoutMs;
    for (;;) {
      const value = await this.evaluate(expression);
      if (value) return value;
      if (Date.now() > end) throw new Error(`timed out waiting for: ${expression}`);
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
  }

  // A click at the middle of the element with this id, as a mouse would.
  async click(id) {
    const box = await this.evaluate(
        `(() => { const r = document.getElementById(${JSON.stringify(id)}).getBoundingClientRect();` +
        ` return {x: r.x + r.width / 2, y: r.y + r.height / 2}; })()`);
    for (const type of ['mouseMoved', 'mousePressed', 'mouseReleased']) {
      await this.send('Input.dispatchMouseEvent', {type, x: box.x, y: box.y, button: 'left', clickCount: 1});
    }
  }

  // A key tapped: held for a moment, as a person would.
  async key(name) {
    const keys = {Escape: {key: 'Escape', code: 'Escape', windowsVirtualKeyCode: 27},
                  Space: {key: ' ', code: 'Space', windowsVirtualKeyCode: 32, text: ' '}};
    await this.send('Input.dispatchKeyEvent', Object.assign({type: 'keyDown'}, keys[name]));
    await new Promise((resolve) => setTimeout(resolve, 50));
    await this.send('Input.dispatchKeyEvent', Object.assign({type: 'keyUp'}, keys[name]));
  }

  // The page as shown, or the `clip` rectangle of it, as a PNG file.
  async screenshot(file, clip = undefined) {
    const {data} = await this.send('Page.captureScreenshot', clip ? {format: 'png', clip} : {format: 'png'});
    fs.writeFileSync(file, Buffer.from(data, 'base64'));
  }
}

// Ends a test script as skipped (ctest's SKIP_RETURN_CODE).
function skip(reason) {
  console.log(`skipped: ${reason}`);
  process.exit(77);
}

// A test script's checks: an "ok" or "not ok" line each, counted.
class Report {
  constructor() {
    this.passed = 0;
    this.failed = 0;
  }

  check(name, ok, detail = '') {
    if (ok) {
      this.passed += 1;
      console.log(`ok - ${name}${detail ? ' (' + detail + ')' : ''}`);
    } else {
      this.failed += 1;
      console.log(`not ok - ${name}${detail ? ': ' + detail : ''}`);
    }
  }

  // Prints the counts and ends the script: status 1 when a check failed.
  finish() {
    console.log(`${this.passed} passed, ${this.failed} failed`);
    process.exit(this.failed ? 1 : 0);
  }
}

module.exports = {Browser, Report, serve, skip};
