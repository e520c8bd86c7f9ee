// A pseudo-terminal as a Web Serial SerialPort, for node: what the page's
// SerialLine talks to when the engine runs outside a browser, and what the
// bridge opens for the browser's stand-in. The simulator paces its side by the
// rate the host set on the pty, so open() sets it with stty like a real host
// sets a cable's. Errors follow the browser's: InvalidStateError for a port in
// the wrong state, TypeError for a close while a stream is locked,
// NetworkError when the device goes away.
//
// The port holds one open file from open to close, as a desktop host does:
// the simulator counts the host's opens and closes (inotify, which merges
// like events that follow each other), so an extra open, such as node's tty
// streams reopening the device, could leave it counting a closed port as
// open. Hence stty and a cat that reads for us share that file.
import { spawn } from 'node:child_process';
import fs from 'node:fs';

const { O_RDWR, O_NOCTTY } = fs.constants;

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
    this._cat = null;
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
      this._fd = fs.openSync(this.path, O_RDWR | O_NOCTTY);
      await stty(this._fd, rate);
    } catch (error) {
      await this._release();
      this.state = 'closed';
      throw error instanceof DOMException ? error : domError('NetworkError', `Failed to open serial port: ${error.message}`);
    }
    this.rate = rate;
    this.state = 'open';
    const cat = spawn('sh', ['-c', 'exec cat <&3'], { stdio: ['ignore', 'pipe', 'ignore', this._fd] });
    this._cat = cat;
    cat.exited = new Promise((resolve) => cat.on('exit', resolve));
    cat.stdout.on('data', (chunk) => this._deliver(new Uint8Array(chunk.buffer, chunk.byteOffset, chunk.length)));
    // It ends by itself only when the line does: the simulator has gone.
    cat.on('exit', () => this._cat === cat && this._lose());
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
    await this._release();
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

  // The cat ends before the file is closed, so that the simulator sees the
  // port closed once close() has returned.
  async _release() {
    const cat = this._cat;
    this._cat = null;
    if (cat) {
      cat.kill('SIGKILL');
      await cat.exited;
    }
    if (this._fd >= 0) fs.closeSync(this._fd);
    this._fd = -1;
    this._pending = [];
    this._controller = null;
    this._writableController = null;
  }

  _deliver(bytes) {
    if (this._controller) this._controller.enqueue(bytes);
    else this._pending.push(bytes);
  }

  _makeReadable() {
    const port = this;
    return new ReadableStream(
      {
        start(controller) {
          port._controller = controller;
          for (const bytes of port._pending.splice(0)) controller.enqueue(bytes);
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
          const written = await new Promise((resolve) =>
            fs.write(port._fd, bytes, (error, n) => resolve(error ? -1 : n)),
          );
          if (written < 0) {
            port._lose();
            throw domError('NetworkError', 'The device has been lost.');
          }
          bytes = bytes.subarray(written);
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
