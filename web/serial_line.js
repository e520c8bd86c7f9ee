// The engine's serial line over Web Serial: one port at a time, opened 8N1
// at a rate, with one reader running for as long as the port is open that
// fills a buffer the engine takes its bytes from. A rate change closes the
// port and opens it again at the new rate (Web Serial has no other way).
// The page's stop (abort) and a lost device make every later wait fail at
// once and every write fail, so a job never hangs on a line that is gone.
// Works over any object with the SerialPort interface (the tests give one
// that talks to a simulated radio).

const kBufferLimit = 1 << 20; // bytes held for the engine; more means nobody reads

export class SerialLine {
  constructor() {
    this.port = null;
    this.stopped = false;
    this.lost = false;
    this._open = false;
    this._rate = 0;
    this._chunks = [];
    this._buffered = 0;
    this._reader = null;
    this._readLoop = null;
    this._waiters = new Set();
  }

  // The port the next job opens.
  usePort(port) {
    if (this._open && port !== this.port) throw new Error('the line is open on another port');
    this.port = port;
    this.lost = false;
  }

  beginJob() {
    this.stopped = false;
    if (this.port && !this._open) this.lost = false;
  }

  abort() {
    this.stopped = true;
    this._wake();
  }

  portLost(port) {
    if (port && port !== this.port) return;
    this.lost = true;
    this._wake();
  }

  // The engine's side.

  isOpen() {
    return this._open;
  }

  rate() {
    return this._rate;
  }

  available() {
    return this._buffered;
  }

  take(max) {
    const count = Math.min(max, this._buffered);
    const bytes = new Uint8Array(count);
    let filled = 0;
    while (filled < count) {
      const chunk = this._chunks[0];
      const part = Math.min(chunk.length, count - filled);
      bytes.set(chunk.subarray(0, part), filled);
      filled += part;
      if (part === chunk.length) this._chunks.shift();
      else this._chunks[0] = chunk.subarray(part);
    }
    this._buffered -= count;
    return bytes;
  }

  async open(rate) {
    if (this.stopped) return {error: 'io_error', reason: 'stopped'};
    if (!this.port) return {error: 'no_such_port', reason: 'no port chosen'};
    if (this.lost) return {error: 'not_found', reason: 'the device is gone'};
    if (this._open) return {ok: true};
    try {
      await this.port.open({baudRate: rate, dataBits: 8, parity: 'none', stopBits: 1,
                            flowControl: 'none', bufferSize: 4096});
    } catch (error) {
      return openFailure(error);
    }
    this._open = true;
    this._rate = rate;
    this._chunks = [];
    this._buffered = 0;
    try {
      await this.port.setSignals({dataTerminalReady: true, requestToSend: true});
    } catch (error) {
      // Some adapters have no modem lines; the radio's boot loader needs none.
    }
    this._startReader();
    return {ok: true};
  }

  // Closes and reopens at rate; bytes that arrived before are kept, so none
  // in flight at the change is lost to the engine.
  async setRate(rate) {
    if (!this._open) return {error: 'not_open', reason: 'the port is not open'};
    if (this._rate === rate) return {ok: true};
    const kept = this._chunks;
    const keptCount = this._buffered;
    await this.close();
    const opened = await this.open(rate);
    if (opened.ok) {
      this._chunks = kept.concat(this._chunks);
      this._buffered += keptCount;
    }
    return opened.ok ? opened : {error: 'bad_settings', reason: opened.reason};
  }

  async close() {
    if (!this._open) return;
    this._open = false;
    const reader = this._reader;
    if (reader) {
      try {
        await reader.cancel();
      } catch (error) {
        // A reader that already failed has nothing to cancel.
      }
    }
    if (this._readLoop) await this._readLoop;
    try {
      await this.port.close();
    } catch (error) {
      // A port whose device is gone is closed already.
    }
    this._wake();
  }

  async write(bytes) {
    if (this.stopped) return {error: 'io_error', reason: 'stopped'};
    if (this.lost) return {error: 'disconnected', reason: 'the device is gone'};
    if (!this._open) return {error: 'not_open', reason: 'the port is not open'};
    let writer;
    try {
      writer = this.port.writable.getWriter();
    } catch (error) {
      return {error: 'io_error', reason: String(error.message || error)};
    }
    // A write resolves once the port took the bytes; a device that stops
    // taking them must not hold the job, so a lost device or a stop ends it.
    try {
      await Promise.race([writer.write(bytes), this._failure()]);
      if (this.stopped) return {error: 'io_error', reason: 'stopped'};
      if (this.lost) return {error: 'disconnected', reason: 'the device is gone'};
      return {ok: true};
    } catch (error) {
      return {error: 'disconnected', reason: String(error.message || error)};
    } finally {
      writer.releaseLock();
    }
  }

  // "input" once count bytes are buffered, or some are and the limit passed;
  // "timeout" when none came in time; "failed" when the line is closed, gone
  // or stopped.
  waitFor(count, ms) {
    if (this._failed()) return Promise.resolve('failed');
    if (this._buffered >= count) return Promise.resolve('input');
    return new Promise((resolve) => {
      const waiter = {count, resolve: null};
      const timer = setTimeout(() => waiter.resolve(this._buffered > 0 ? 'input' : 'timeout'), ms);
      waiter.resolve = (result) => {
        clearTimeout(timer);
        this._waiters.delete(waiter);
        resolve(result);
      };
      this._waiters.add(waiter);
    });
  }

  _failed() {
    return this.stopped || this.lost || !this._open;
  }

  _failure() {
    return new Promise((resolve) => {
      const waiter = {count: Infinity, resolve: (result) => {
        this._waiters.delete(waiter);
        resolve(result);
      }};
      this._waiters.add(waiter);
      if (this._failed()) waiter.resolve('failed');
    });
  }

  _wake() {
    for (const waiter of [...this._waiters]) {
      if (this._failed()) waiter.resolve('failed');
      else if (this._buffered >= waiter.count) waiter.resolve('input');
    }
  }

  _startReader() {
    let reader;
    try {
      reader = this.port.readable.getReader();
    } catch (error) {
      this.lost = true;
      this._wake();
      return;
    }
    this._reader = reader;
    this._readLoop = (async () => {
      let failed = false;
      try {
        for (;;) {
          const {value, done} = await reader.read();
          if (done) break;
          if (value && value.length && this._buffered + value.length <= kBufferLimit) {
            this._chunks.push(value);
            this._buffered += value.length;
            this._wake();
          }
        }
      } catch (error) {
        failed = true;
      }
      try {
        reader.releaseLock();
      } catch (error) {
        // Released already.
      }
      if (this._reader === reader) this._reader = null;
      if (!this._open) return;
      // A framing or overrun error leaves the port a new stream to read
      // (the engine's checks catch the bytes it spoiled); a lost device
      // leaves none, and a stream that ends while open is a device gone.
      if (failed && this.port.readable) {
        this._startReader();
        return;
      }
      this.lost = true;
      this._wake();
    })();
  }
}

function openFailure(error) {
  const reason = String(error && error.message || error);
  switch (error && error.name) {
    case 'NotFoundError':
      return {error: 'not_found', reason};
    case 'SecurityError':
      return {error: 'permission_denied', reason};
    case 'InvalidStateError':
      return {error: 'busy', reason};
    case 'TypeError':
      return {error: 'bad_settings', reason};
    default:
      // Chromium says NetworkError both for a port another program holds
      // and for one the system refuses.
      return {error: 'busy', reason};
  }
}
