// What the page test and the bench share: a static server for the built page
// on 127.0.0.1, Debian's chromium driven by playwright-core, and a page with
// the serial stand-in wired to a bridge.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const standinText = fs.readFileSync(path.join(here, 'serial_standin.js'), 'utf8');

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
  '.ico': 'image/x-icon',
  '.sys': 'application/octet-stream',
  '.woff2': 'font/woff2',
};

// Serves dir on 127.0.0.1; resolves to { url, server, close() }.
export function serveDir(dir) {
  const root = path.resolve(dir);
  const server = http.createServer((request, response) => {
    let name = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
    if (name.endsWith('/')) name += 'index.html';
    const file = path.join(root, path.normalize(name));
    if (!file.startsWith(root + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, {
      'Content-Type': types[path.extname(file)] || 'application/octet-stream',
      'Cache-Control': 'no-store',
    });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) =>
    server.listen(0, '127.0.0.1', () =>
      resolve({
        url: `http://127.0.0.1:${server.address().port}/`,
        server,
        close: () => new Promise((done) => {
          server.closeAllConnections();
          server.close(() => done());
        }),
      }),
    ),
  );
}

export const chromiumPath = process.env.VEXO_CHROMIUM || '/usr/bin/chromium';

// Headless unless told otherwise (the demo shows a window when there is a display).
export async function launchBrowser({ headless = true } = {}) {
  return chromium.launch({
    executablePath: chromiumPath,
    headless,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
}

// A fresh context and page whose navigator.serial is the stand-in;
// serial = { bridge, ports: [{ path, info, granted }], choose }. errors
// collects what the page threw and did not catch.
export async function openPage(browser, url, serial, { width = 1200, height = 900, locale = 'en-US' } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, locale, acceptDownloads: true });
  await context.addInitScript({ content: `${standinText}\ninstallSerialStandin(${JSON.stringify(serial)});` });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  await page.goto(url);
  return { context, page, errors };
}

// Resolves once the page says it is ready (the engine is loaded).
export function pageReady(page, timeout = 15000) {
  return page.waitForSelector('body[data-state="ready"]', { timeout });
}
