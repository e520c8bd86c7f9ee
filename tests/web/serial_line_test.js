// SerialLine over an in-memory port that behaves as Web Serial's does: what
// the engine relies on when the line changes rate, breaks or is stopped.
// Run: node --test tests/web/serial_line_test.js
import assert from 'node:assert/strict';
import path from 'node:path';
import { test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { webDir } from './sim.js';

const { SerialLine } = await import(pathToFileURL(path.join(webDir, 'serial_line.js')).href);

// A port whose incoming side the test drives: feed(bytes), fail(error) (a
// read error; fatal ones leave no new stream), end().
class MemoryPort {
  constructor() {
    this.opens = [];
    this.written = [];
    this.readable = null;
    this.writable = null;
  }
  async open({ baudRate }) {
    if (this.readable) throw new DOMException('already open', 'InvalidStateError');
    this.opens.push(baudRate);
    this._newReadable();
    this.writable = new WritableStream({ write: (chunk) => this.written.push(...chunk) });
  }
  _newReadable() {
    this.readable = new ReadableStream({ start: (controller) => (this._controller = controller) });
  }
  feed(bytes) {
    this._controller.enqueue(new Uint8Array(bytes));
  }
  fail(fatal) {
    this._controller.error(new DOMException('read failed', fatal ? 'NetworkError' : 'FramingError'));
    if (fatal) this.readable = null;
    else this._newReadable();
  }
  async setSignals() {}
  async close() {
    if (this.readable?.locked || this.writable?.locked) throw new TypeError('locked');
    this.readable = null;
    this.writable = null;
  }
}

const tick = () => new Promise((resolve) => setTimeout(resolve, 5));

async function openLine() {
  const port = new MemoryPort();
  const line = new SerialLine();
  line.usePort(port);
  line.beginJob();
  assert.deepEqual(await line.open(9600), { ok: true });
  return { port, line };
}

test('a rate change reopens the port and keeps the bytes that came before it', async () => {
  const { port, line } = await openLine();
  port.feed([1, 2, 3]);
  await tick();
  assert.deepEqual(await line.setRate(115200), { ok: true });
  port.feed([4]);
  assert.equal(await line.waitFor(4, 200), 'input');
  assert.deepEqual([...line.take(10)], [1, 2, 3, 4]);
  assert.deepEqual(port.opens, [9600, 115200]);
  assert.equal(line.rate(), 115200);
  await line.close();
  assert.equal(port.readable, null, 'closed although the reader held the stream');
});

test('a wait for more bytes than came ends at its limit with what did come', async () => {
  const { port, line } = await openLine();
  port.feed([7]);
  assert.equal(await line.waitFor(5, 30), 'input');
  assert.equal(line.available(), 1);
  line.take(1);
  assert.equal(await line.waitFor(1, 30), 'timeout');
  await line.close();
});

test('a read error that leaves a new stream goes on reading; a lost device fails every wait and write', async () => {
  const { port, line } = await openLine();
  port.fail(false);
  await tick();
  port.feed([9]);
  assert.equal(await line.waitFor(1, 200), 'input');
  assert.deepEqual([...line.take(1)], [9]);
  const waiting = line.waitFor(1, 60_000);
  port.fail(true);
  assert.equal(await waiting, 'failed', 'a wait outlived the device');
  assert.equal((await line.write(new Uint8Array([1]))).error, 'disconnected');
  await line.close();
});

test('a stop ends a wait at once and refuses to open the port again until the next job', async () => {
  const { line } = await openLine();
  const waiting = line.waitFor(1, 60_000);
  line.abort();
  assert.equal(await waiting, 'failed');
  assert.ok(line.stopped);
  await line.close();
  assert.notEqual((await line.open(9600)).ok, true);
  line.beginJob();
  assert.deepEqual(await line.open(9600), { ok: true });
  await line.close();
});
