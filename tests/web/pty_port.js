// A pseudo-terminal as a Web Serial SerialPort, for node: what the page's
// SerialLine talks to when the engine runs outside a browser, and what the
// bridge opens for the browser's stand-in. The simulator paces its side by the
// rate the host set on the pty, so open() sets it with stty like a real host
// sets a cable's. Errors follow the browser's: InvalidStateError for a port in
// the wrong state, TypeError for a close while a stream is locked,
// NetworkError when the device goes away.
//
// The port holds one descriptor from open to close, as a desktop host does:
// the simulator counts the host's opens and closes (inotify, which merges
// like events that follow each other), so every extra open, such as node's tty
// streams reopening the device, could leave it counting a closed port as open.
// Hence stty works on that descriptor as its standard input, and reads poll
// it every millisecond, which also hands the bytes over as a USB cable does:
// in packets, at most a frame after they arrived.
import { spawn } from 'node:child_process';
import fs from 'node:fs';

const { O_RDWR, O_NOCTTY, O_NONBLOCK } = fs.constants;
const kPollMs = 1;
const kReadBytes = 4096;

function domError(name, message) {
  return new DOMException(message, name);
}

// The descriptor goes to the child as its fourth: one of the first three would
// come back blocking (node makes a child's standard streams so, and the flag
// belongs to the open file, shared with us).
function stty(fd, rate) {
  const args = [String(rate), 'raw', '-echo', 'cs8', '-parenb', '-cstopb', '-crtscts'];
  return new Promise((resolve, reject) => {
    const child = spawn('sh', ['-c', 'exec stty "$@" <&3', 'stty', ...args], { stdio: ['ignore', 'ignore', 'pipe', fd] });
    let stderr = '';
    child.stderr.on('data', (chunk) => (stderr += chunk));
    child.on('error', (error) => reject(domError('NetworkError', `stty: ${error.message}`)));
    child.on('close', (code) => (code === 0 ? resolve() : reject(domError('NetworkError', `stty: ${stderr}`))));
  });
}

export class PtyPort extends EventTarget {
  constructor(path) {
    super();
    this.path = path;
    this.state = 'closed'; // closed | opening | open | closing | lost
    this.rate = 0;
    this.signals = { dataTerminalReady: false, requestToSend: false, break: false };
    this._readable = null;
    this._writable = null;
    this._fd = -1;
    this._poll = null;
    this._paused = false;
    this._pending = []; // bytes read while no readable stream exists
    this._controller = null;
  }

  getInfo() {
    return {};
  }

  async open(options = {}) {
    const rate = options.baudRate;
    if (!Number.isInteger(rate) || rate <= 0) throw new TypeError('baudRate must be a positive integer');
    if (this.state !== 'closed') throw domError('InvalidStateError', 'The port is already open.');
    this.state = 'opening';
    try {
      this._fd = fs.openSync(this.path, O_RDWR | O_NOCTTY | O_NONBLOCK);
      await stty(this._fd, rate);
    } catch (error) {
      this._release();
      this.state = 'closed';
      throw error instanceof DOMException ? error : domError('NetworkError', `Failed to open serial port: ${error.message}`);
    }
    this.rate = rate;
    this.state = 'open';
    this._poll = setInterval(() => this._read(), kPollMs);
  }

  _read() {
    if (this._paused || this._fd < 0) return;
    const buffer = Buffer.allocUnsafe(kReadBytes);
    let got = 0;
    try {
      while (got < kReadBytes) {
        const n = fs.readSync(this._fd, buffer, got, kReadBytes - got, null);
        if (n === 0) return this._lose(); // hung up: the simulator has gone
        got += n;
      }
    } catch (error) {
      if (error.code !== 'EAGAIN') return this._lose();
    }
    if (got > 0) this._deliver(new Uint8Array(buffer.buffer, buffer.byteOffset, got));
  }

  get readable() {
    if (this.state !== 'open') return null;
    if (!this._readable) this._readable = this._makeReadable();
    return this._readable;
  }

  get writable() {
    if (this.state !== 'open') return null;
    if (!this._writable) this._writable = this._makeWritable();
    return this._writable;
  }

  async setSignals(signals = {}) {
    if (this.state !== 'open') throw domError('InvalidStateError', 'The port is closed.');
    Object.assign(this.signals, signals);
  }

  async getSignals() {
    if (this.state !== 'open') throw domError('InvalidStateError', 'The port is closed.');
    return { dataCarrierDetect: true, clearToSend: true, ringIndicator: false, dataSetReady: true };
  }

  async close() {
    if (this.state === 'lost') {
      this.state = 'closed';
      this._readable = this._writable = null;
      return;
    }
    if (this.state !== 'open') throw domError('InvalidStateError', 'The port is already closed.');
    if (this._readable?.locked || this._writable?.locked) {
      throw new TypeError("Failed to execute 'close' on 'SerialPort': Cannot cancel a locked stream");
    }
    this.state = 'closing';
    const readable = this._readable;
    const writable = this._writable;
    this._readable = this._writable = null;
    await Promise.all([readable?.cancel(), writable?.close().catch(() => {})]);
    this._release();
    this.state = 'closed';
  }

  // The simulator went away (or the test pulled it): streams fail as a
  // browser's do when the cable is pulled.
  _lose() {
    if (this.state !== 'open') return;
    this.state = 'lost';
    const error = domError('NetworkError', 'The device has been lost.');
    try {
      this._controller?.error(error);
    } catch {}
    this._writableController?.error(error);
    this._release();
    this.dispatchEvent(new Event('disconnect'));
  }

  _release() {
    clearInterval(this._poll);
    this._poll = null;
    if (this._fd >= 0) fs.closeSync(this._fd);
    this._fd = -1;
    this._paused = false;
    this._pending = [];
    this._controller = null;
    this._writableController = null;
  }

  _deliver(bytes) {
    if (this._controller) {
      this._controller.enqueue(bytes);
      this._paused = this._controller.desiredSize <= 0;
    } else {
      this._pending.push(bytes);
    }
  }

  _makeReadable() {
    const port = this;
    return new ReadableStream(
      {
        start(controller) {
          port._controller = controller;
          for (const bytes of port._pending.splice(0)) controller.enqueue(bytes);
        },
        pull() {
          port._paused = false;
        },
        cancel() {
          // Later bytes wait for the next readable, as on a real port.
          port._controller = null;
          port._readable = null;
        },
      },
      { highWaterMark: 64 },
    );
  }

  _makeWritable() {
    const port = this;
    return new WritableStream({
      start(controller) {
        port._writableController = controller;
      },
      async write(chunk) {
        let bytes = chunk instanceof Uint8Array ? chunk : new Uint8Array(chunk);
        while (bytes.length > 0) {
          if (port._fd < 0) throw domError('NetworkError', 'The device has been lost.');
          let written = 0;
          try {
            written = fs.writeSync(port._fd, bytes);
          } catch (error) {
            if (error.code !== 'EAGAIN') {
              port._lose();
              throw domError('NetworkError', 'The device has been lost.');
            }
          }
          bytes = bytes.subarray(written);
          if (bytes.length > 0) await new Promise((resolve) => setTimeout(resolve, 1));
        }
      },
      close() {
        port._writable = null;
      },
      abort() {
        port._writable = null;
      },
    });
  }
}
