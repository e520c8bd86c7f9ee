// navigator.serial for a headless browser, installed before the page runs:
// SerialPort objects that behave as the browser's own (open at a rate,
// readable/writable streams, close refused while a stream is locked, reopen,
// forget, connect/disconnect events) and carry their bytes over a WebSocket to
// the test's bridge, which holds a simulator's pty. Plain script: the test
// adds this text and a call of installSerialStandin(config), where
//   config = { bridge: "ws://127.0.0.1:N/bridge", ports: [{ path, info, granted }], choose }
// `choose` is the index requestPort() answers with (null: the user cancels).
// window.__vexoSerial lets the test steer and inspect it: calls (every
// open/close/requestPort, in order), pull(i) (the cable pulled), plug(entry),
// ping(n) (round trips to the bridge, in ms).
function installSerialStandin(config) {
  'use strict';
  const calls = [];
  const domError = (name, message) => new DOMException(message, name);

  class PortEvent extends Event {
    constructor(type, port) {
      super(type, { bubbles: true });
      this.port = port;
    }
    get target() {
      return this.port;
    }
  }

  const serial = new EventTarget();
  let onconnect = null;
  let ondisconnect = null;

  class SerialPort extends EventTarget {
    constructor(entry, index) {
      super();
      this._entry = entry;
      this._index = index;
      this._state = 'closed'; // closed | opening | open | closing
      this._socket = null;
      this._readable = null;
      this._writable = null;
      this._readController = null;
      this._writeController = null;
      this._pending = [];
      this._forgotten = false;
      this._connected = true;
      this.onconnect = null;
      this.ondisconnect = null;
    }

    get connected() {
      return this._connected;
    }

    getInfo() {
      return Object.assign({}, this._entry.info || {});
    }

    get readable() {
      if (this._state !== 'open' || this._lost) return null;
      if (!this._readable) this._readable = this._makeReadable();
      return this._readable;
    }

    get writable() {
      if (this._state !== 'open' || this._lost) return null;
      if (!this._writable) this._writable = this._makeWritable();
      return this._writable;
    }

    async open(options) {
      const rate = options && options.baudRate;
      calls.push({ op: 'open', port: this._index, baudRate: rate });
      if (!Number.isInteger(rate) || rate <= 0) throw new TypeError("Failed to execute 'open' on 'SerialPort': baudRate");
      if (this._forgotten) throw domError('InvalidStateError', 'The port has been forgotten.');
      if (this._state !== 'closed') throw domError('InvalidStateError', 'The port is already open.');
      if (!this._connected) throw domError('NetworkError', 'Failed to open serial port.');
      this._state = 'opening';
      const socket = new WebSocket(`${config.bridge}?path=${encodeURIComponent(this._entry.path)}`);
      socket.binaryType = 'arraybuffer';
      const answer = await new Promise((resolve) => {
        socket.onopen = () => socket.send(JSON.stringify({ op: 'open', baudRate: rate }));
        socket.onerror = () => resolve({ op: 'error', name: 'NetworkError', message: 'no bridge' });
        socket.onclose = () => resolve({ op: 'error', name: 'NetworkError', message: 'bridge closed' });
        socket.onmessage = (e) => resolve(JSON.parse(e.data));
      });
      if (answer.op !== 'opened') {
        socket.close();
        this._state = 'closed';
        throw domError('NetworkError', `Failed to open serial port. (${answer.message})`);
      }
      this._socket = socket;
      this._waiters = [];
      socket.onmessage = (e) => {
        if (typeof e.data !== 'string') return this._deliver(new Uint8Array(e.data));
        const message = JSON.parse(e.data);
        if (message.op === 'lost') this._lose();
        else this._waiters.shift()?.(message);
      };
      socket.onclose = () => {
        if (this._state === 'open') this._lose();
      };
      this._state = 'open';
      this._lost = false;
    }

    async setSignals(signals) {
      calls.push({ op: 'setSignals', port: this._index, signals });
      if (this._state !== 'open') throw domError('InvalidStateError', 'The port is closed.');
      await this._request({ op: 'signals', ...signals });
    }

    async getSignals() {
      if (this._state !== 'open') throw domError('InvalidStateError', 'The port is closed.');
      return { dataCarrierDetect: true, clearToSend: true, ringIndicator: false, dataSetReady: true };
    }

    async close() {
      calls.push({ op: 'close', port: this._index });
      if (this._state !== 'open') throw domError('InvalidStateError', 'The port is already closed.');
      if (this._lost) return this._shut();
      if ((this._readable && this._readable.locked) || (this._writable && this._writable.locked)) {
        throw new TypeError("Failed to execute 'close' on 'SerialPort': Cannot cancel a locked stream");
      }
      this._state = 'closing';
      const readable = this._readable;
      const writable = this._writable;
      this._readable = this._writable = null;
      await Promise.all([readable && readable.cancel(), writable && writable.close().catch(() => {})]);
      await this._request({ op: 'close' }).catch(() => {});
      this._shut();
    }

    async forget() {
      calls.push({ op: 'forget', port: this._index });
      if (this._state === 'open') {
        this._lose();
        this._shut();
      }
      this._forgotten = true;
      this._entry.granted = false;
    }

    // One control message and its answer, in order.
    _request(message) {
      return new Promise((resolve, reject) => {
        if (!this._socket || this._socket.readyState !== WebSocket.OPEN) return reject(domError('NetworkError', 'The device has been lost.'));
        this._waiters.push(resolve);
        this._socket.send(JSON.stringify(message));
      });
    }

    _shut() {
      this._state = 'closed';
      this._lost = false;
      if (this._socket) {
        this._socket.onclose = null;
        this._socket.close();
      }
      this._socket = null;
      this._pending = [];
      this._readController = this._writeController = null;
      this._readable = this._writable = null;
      for (const waiter of this._waiters || []) waiter({ op: 'closed' });
      this._waiters = [];
    }

    // The device went away: both streams fail with NetworkError.
    // As in the browser the port stays open, without streams, until the page
    // closes it.
    _lose() {
      if (this._state !== 'open' || this._lost) return;
      this._lost = true;
      const error = domError('NetworkError', 'The device has been lost.');
      try {
        this._readController && this._readController.error(error);
      } catch (e) {}
      try {
        this._writeController && this._writeController.error(error);
      } catch (e) {}
      if (this._socket) {
        this._socket.onclose = null;
        this._socket.close();
      }
      this._socket = null;
      for (const waiter of this._waiters || []) waiter({ op: 'closed' });
      this._waiters = [];
    }

    _deliver(bytes) {
      if (this._readController) this._readController.enqueue(bytes);
      else this._pending.push(bytes);
    }

    _makeReadable() {
      const port = this;
      return new ReadableStream({
        start(controller) {
          port._readController = controller;
          for (const bytes of port._pending.splice(0)) controller.enqueue(bytes);
        },
        cancel() {
          port._readController = null;
          port._readable = null;
        },
      });
    }

    _makeWritable() {
      const port = this;
      return new WritableStream({
        start(controller) {
          port._writeController = controller;
        },
        write(chunk) {
          const bytes = chunk instanceof ArrayBuffer ? new Uint8Array(chunk) : new Uint8Array(chunk.buffer, chunk.byteOffset, chunk.byteLength);
          if (!port._socket || port._socket.readyState !== WebSocket.OPEN) throw domError('NetworkError', 'The device has been lost.');
          port._socket.send(bytes.slice());
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

  const ports = [];
  function addPort(entry) {
    const port = new SerialPort(entry, ports.length);
    ports.push(port);
    return port;
  }
  for (const entry of config.ports || []) addPort(entry);

  function fire(type, port) {
    const handler = type === 'connect' ? 'onconnect' : 'ondisconnect';
    const onPort = new Event(type);
    port.dispatchEvent(onPort);
    if (typeof port[handler] === 'function') port[handler](onPort);
    const onSerial = new PortEvent(type, port);
    serial.dispatchEvent(onSerial);
    const global = type === 'connect' ? onconnect : ondisconnect;
    if (typeof global === 'function') global.call(serial, onSerial);
  }

  const api = {
    async getPorts() {
      calls.push({ op: 'getPorts' });
      return ports.filter((p) => p._entry.granted && p._connected && !p._forgotten);
    },
    async requestPort(options) {
      calls.push({ op: 'requestPort', options });
      const port = config.choose === null || config.choose === undefined ? null : ports[config.choose];
      if (!port || !port._connected) throw domError('NotFoundError', 'No port selected by the user.');
      port._entry.granted = true;
      port._forgotten = false;
      return port;
    },
    addEventListener: serial.addEventListener.bind(serial),
    removeEventListener: serial.removeEventListener.bind(serial),
    dispatchEvent: serial.dispatchEvent.bind(serial),
    get onconnect() {
      return onconnect;
    },
    set onconnect(f) {
      onconnect = f;
    },
    get ondisconnect() {
      return ondisconnect;
    },
    set ondisconnect(f) {
      ondisconnect = f;
    },
  };
  Object.defineProperty(Navigator.prototype, 'serial', { configurable: true, get: () => api });
  window.SerialPort = SerialPort;

  window.__vexoSerial = {
    calls,
    ports,
    opens: () => calls.filter((c) => c.op === 'open'),
    choose(index) {
      config.choose = index;
    },
    // The cable pulled: the open stream fails, the port goes, disconnect fires.
    pull(index) {
      const port = ports[index];
      port._connected = false;
      port._lose();
      fire('disconnect', port);
    },
    plug(entry) {
      const port = addPort(Object.assign({ granted: true }, entry));
      fire('connect', port);
      return port._index;
    },
    // Round trips to the bridge over a connection of its own, in ms.
    async ping(count) {
      const socket = new WebSocket(config.bridge);
      await new Promise((resolve, reject) => {
        socket.onopen = resolve;
        socket.onerror = reject;
      });
      const times = [];
      for (let i = 0; i < count; ++i) {
        const t = performance.now();
        socket.send(JSON.stringify({ op: 'ping', t }));
        await new Promise((resolve) => (socket.onmessage = resolve));
        times.push(performance.now() - t);
      }
      socket.close();
      return times;
    },
  };
}
