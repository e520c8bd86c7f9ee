// A loopback WebSocket server that lends the browser's serial stand-in a
// simulator's pty. One connection is one open port: ws://127.0.0.1:N/?path=PTY.
// Text frames are JSON control messages, binary frames are line bytes, passed
// on raw both ways:
//   page -> bridge  {op:"open", baudRate}  {op:"close"}  {op:"signals", ...}  {op:"ping", t}
//   bridge -> page  {op:"opened"}  {op:"closed"}  {op:"error", name, message}
//                   {op:"lost", message}  {op:"pong", t}
// Messages of one connection are handled strictly in order, so bytes written
// before a close reach the pty before it closes.
import { WebSocketServer } from 'ws';
import { PtyPort } from './pty_port.js';

const allowedPath = /^\/dev\/pts\/\d+$/;

function handle(socket, path, stats) {
  let port = null;
  let writer = null;
  let reader = null;
  let queue = Promise.resolve();
  const send = (message) => socket.readyState === socket.OPEN && socket.send(JSON.stringify(message));

  // The paced simulator writes a reply byte by byte, as the wire carries it;
  // a USB cable hands the host what arrived in each millisecond's frame.
  // Sending each byte alone would cost the page a wake-up per byte that no
  // real cable causes.
  let packet = [];
  let frames = null;
  function sendPacket() {
    if (packet.length === 0 || socket.readyState !== socket.OPEN) return;
    const bytes = Buffer.concat(packet);
    packet = [];
    stats.toPage += bytes.length;
    stats.toPageFrames += 1;
    socket.send(bytes);
  }

  async function pump() {
    frames = setInterval(sendPacket, 1);
    try {
      for (;;) {
        const { value, done } = await reader.read();
        if (done) break;
        packet.push(value);
      }
    } catch (error) {
      sendPacket();
      send({ op: 'lost', message: error.message });
      socket.close();
    }
    clearInterval(frames);
  }

  async function close() {
    if (!port) return;
    const p = port;
    port = null;
    await reader?.cancel().catch(() => {});
    reader?.releaseLock();
    writer?.releaseLock();
    reader = writer = null;
    await p.close().catch(() => {});
  }

  async function control(message) {
    if (message.op === 'ping') return send({ op: 'pong', t: message.t });
    if (message.op === 'open') {
      if (!allowedPath.test(path)) return send({ op: 'error', name: 'NotFoundError', message: `not a pty: ${path}` });
      port = new PtyPort(path);
      try {
        await port.open({ baudRate: message.baudRate });
      } catch (error) {
        port = null;
        return send({ op: 'error', name: error.name, message: error.message });
      }
      stats.opens.push(message.baudRate);
      writer = port.writable.getWriter();
      reader = port.readable.getReader();
      pump();
      return send({ op: 'opened' });
    }
    if (message.op === 'signals') return send({ op: 'signals' });
    if (message.op === 'close') {
      await close();
      send({ op: 'closed' });
      socket.close();
    }
  }

  socket.on('message', (data, isBinary) => {
    queue = queue.then(async () => {
      if (!isBinary) return control(JSON.parse(data.toString()));
      if (!writer) return;
      stats.toPort += data.length;
      stats.toPortFrames += 1;
      await writer.write(new Uint8Array(data)).catch(() => {});
    });
  });
  socket.on('close', () => {
    queue = queue.then(close);
  });
}

// Starts the bridge on 127.0.0.1, on a port of its own or, given an
// http.Server, at /bridge on that server: the page's own origin, which its
// content security policy lets it connect to. Resolves to { url, stats, close() }.
export function startBridge({ port = 0, server: http = null } = {}) {
  const server = http
    ? new WebSocketServer({ server: http, path: '/bridge', perMessageDeflate: false })
    : new WebSocketServer({ host: '127.0.0.1', port, perMessageDeflate: false });
  const stats = { connections: 0, opens: [], toPort: 0, toPortFrames: 0, toPage: 0, toPageFrames: 0 };
  server.on('connection', (socket, request) => {
    stats.connections += 1;
    socket.binaryType = 'nodebuffer';
    const path = new URL(request.url, 'ws://127.0.0.1').searchParams.get('path') || '';
    handle(socket, path, stats);
  });
  const bridge = (url) => ({
    url,
    stats,
    close: () =>
      new Promise((done) => {
        for (const client of server.clients) client.terminate();
        server.close(() => done());
      }),
  });
  if (http) return Promise.resolve(bridge(`ws://127.0.0.1:${http.address().port}/bridge`));
  return new Promise((resolve, reject) => {
    server.on('error', reject);
    server.on('listening', () => resolve(bridge(`ws://127.0.0.1:${server.address().port}/`)));
  });
}
