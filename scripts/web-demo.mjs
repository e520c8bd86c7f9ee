// The browser page against the simulated radio (scripts/demo.sh --web).
// Serves the built page on 127.0.0.1 and opens it in Debian's chromium with
// a serial port that reaches the simulator's pseudo-terminal: a browser's own
// Web Serial lists real serial devices only, so the page gets the tests'
// stand-in, carried over a WebSocket on the page's own origin to the bridge
// that holds the pty at the rate the page asks for.
// With a display the window stays open for you to use (choose the port, the
// firmware, press E.P.R) until you close it; without one the same E.P.R runs
// headless and its message, screenshot and traffic log are kept.
// Usage: node scripts/web-demo.mjs PTY FIRMWARE OUT_DIR
import fs from 'node:fs';
import path from 'node:path';
import { startBridge } from '../tests/web/bridge.js';
import { launchBrowser, openPage, pageReady, serveDir } from '../tests/web/harness.js';
import { webDir } from '../tests/web/sim.js';

const [pty, firmware, outDir] = process.argv.slice(2);
if (!pty || !firmware || !outDir) {
  console.error('usage: node scripts/web-demo.mjs PTY FIRMWARE OUT_DIR');
  process.exit(2);
}
fs.mkdirSync(outDir, { recursive: true });
const headed = Boolean(process.env.DISPLAY || process.env.WAYLAND_DISPLAY) && process.env.VEXO_DEMO_HEADLESS !== '1';

const server = await serveDir(webDir);
const bridge = await startBridge({ server: server.server });
const browser = await launchBrowser({ headless: !headed });
let exitStatus = 0;
try {
  // A CH340 cable, granted before, so the page offers it at once.
  const serial = {
    bridge: bridge.url,
    ports: [{ path: pty, info: { usbVendorId: 0x1a86, usbProductId: 0x7523 }, granted: true }],
    choose: 0,
  };
  const { page } = await openPage(browser, server.url, serial);
  await pageReady(page);
  console.log(`The page: ${server.url} (the simulated radio on ${pty}, offered as USB 1A86:7523)`);
  if (headed) {
    console.log(`Choose the firmware ${firmware} and press E.P.R in the browser window; close it to end.`);
    await new Promise((resolve) => browser.on('disconnected', resolve));
  } else {
    await page.click('#port-choose');
    await page.setInputFiles('#file-input', firmware);
    await page.selectOption('#rate', '115200');
    const started = Date.now();
    await page.click('#btn-epr');
    console.log('E.P.R running headless...');
    await page.waitForSelector('#dialog', { state: 'visible', timeout: 300000 });
    const message = (await page.textContent('#dialog-text')).trim();
    console.log(`The page said after ${((Date.now() - started) / 1000).toFixed(1)} s: ${message}`);
    await page.screenshot({ path: path.join(outDir, 'web.png'), fullPage: true });
    await page.click('#dialog-ok');
    await page.waitForSelector('body[data-state="ready"]');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save-log')]);
    const log = path.join(outDir, 'web-traffic.log');
    await download.saveAs(log);
    console.log(`Screenshot ${path.join(outDir, 'web.png')}; traffic log ${log}`);
    const complete = await page.evaluate(() => window.vexoPage.engine.text(3025));
    if (message !== complete.trim()) exitStatus = 1;
  }
} finally {
  await browser.close().catch(() => {});
  await bridge.close();
  await server.close();
}
process.exit(exitStatus);
