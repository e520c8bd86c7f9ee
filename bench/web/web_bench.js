// The page's figures: an E.P.R of 64 KiB at 115200 from the page in headless
// chromium, through the bridge, against the paced simulator, set against the
// time its bytes take on the wire (reckoned as vexo-bench wire does); the
// bridge's round trip in the same run; the page's processor time during the
// job; the bytes of wasm and script it loads; its ready time after a load
// from 127.0.0.1. Prints the figures; exit 1 when a target is not met.
// Run: node bench/web/web_bench.js [--records N] [--profile]
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { startBridge } from '../../tests/web/bridge.js';
import { PtyPort } from '../../tests/web/pty_port.js';
import { launchBrowser, openPage, pageReady, serveDir } from '../../tests/web/harness.js';
import { Sim, makeImage, scratchDir, webDir } from '../../tests/web/sim.js';

const argRecords = process.argv.indexOf('--records');
const RECORDS = argRecords > 0 ? Number(process.argv[argRecords + 1]) : 512;
const RATE = 115200;
const ERASE_MS = 300;
// The engine's fixed pauses: after opening, after the rate switch, after the
// erase, before programming.
const FIXED_PAUSES_MS = 100 + 200 + 350 + 100;

function wireMillis(report) {
  let ms = 0;
  for (const e of report.events) {
    const onWire = e.event === 'message' || e.event === 'reply' || e.event === 'ignored';
    if (onWire && e.rate > 0) ms += (1000 * 10 * e.bytes.length) / e.rate;
  }
  return ms;
}

const PROFILE = process.argv.includes('--profile');

// The page's functions that took most of its main thread during the job.
function printProfile(profile) {
  const self = new Map();
  const byId = new Map(profile.nodes.map((n) => [n.id, n]));
  const counts = new Map();
  for (const id of profile.samples) counts.set(id, (counts.get(id) || 0) + 1);
  let total = 0;
  for (const [id, count] of counts) {
    const f = byId.get(id).callFrame;
    const key = `${f.functionName || '(anonymous)'} ${f.url.split('/').pop()}:${f.lineNumber + 1}`;
    self.set(key, (self.get(key) || 0) + count);
    total += count;
  }
  console.log('page main thread, self samples:');
  for (const [key, count] of [...self].sort((a, b) => b[1] - a[1]).slice(0, 20)) {
    console.log(`  ${((100 * count) / total).toFixed(1).padStart(5)} %  ${key}`);
  }
}

// From the end of each reply on the wire to the end of the host's next
// message, less that message's own wire time: how long the host took to turn
// round, as the simulator saw it (µs, sorted).
function turnarounds(report) {
  const wire = (e) => (1e6 * 10 * e.bytes.length) / e.rate;
  const gaps = [];
  let reply = null;
  for (const e of report.events) {
    if (e.event === 'reply' && e.rate > 0) reply = e;
    else if (e.event === 'message' && reply && (e.kind === 'program' || e.kind === 'read_request')) {
      gaps.push(e.t_us - wire(e) - (reply.t_us + wire(reply)));
      reply = null;
    }
  }
  return gaps.sort((a, b) => a - b);
}

const quantile = (sorted, q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];

// CPU seconds of every chromium process by type ("renderer", "browser", ...).
async function cpuByType(cdp) {
  const { processInfo } = await cdp.send('SystemInfo.getProcessInfo');
  const sums = {};
  for (const p of processInfo) sums[p.type] = (sums[p.type] || 0) + p.cpuTime;
  return sums;
}

function codeBytes(dir) {
  const sizes = { wasm: 0, js: 0, all: 0 };
  for (const name of fs.readdirSync(dir, { recursive: true })) {
    const file = path.join(dir, name);
    if (!fs.statSync(file).isFile()) continue;
    const size = fs.statSync(file).size;
    sizes.all += size;
    if (name.endsWith('.wasm')) sizes.wasm += size;
    if (name.endsWith('.js') || name.endsWith('.mjs')) sizes.js += size;
  }
  return sizes;
}

const readyProbe = `
  new MutationObserver((_, observer) => {
    if (document.body && document.body.dataset.state === 'ready' && window.__readyAt === undefined) {
      window.__readyAt = performance.now();
      observer.disconnect();
    }
  }).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-state'], childList: true });`;

async function readyTimes(browser, url, count) {
  const times = [];
  for (let i = 0; i < count; ++i) {
    const context = await browser.newContext();
    await context.addInitScript({ content: readyProbe });
    const page = await context.newPage();
    await page.goto(url);
    await page.waitForFunction(() => window.__readyAt !== undefined, null, { timeout: 15000 });
    times.push(await page.evaluate(() => window.__readyAt));
    await context.close();
  }
  return times;
}

// The job from the click on E.P.R to the message that ends it, timed in the page.
function timedJob(page) {
  return page.evaluate(
    () =>
      new Promise((resolve) => {
        const dialog = document.querySelector('#dialog');
        const t0 = performance.now();
        const observer = new MutationObserver(() => {
          if (dialog.open) {
            observer.disconnect();
            resolve({ ms: performance.now() - t0, text: document.querySelector('#dialog-text').textContent });
          }
        });
        observer.observe(dialog, { attributes: true, attributeFilter: ['open'] });
        document.querySelector('#btn-epr').click();
      }),
  );
}

// The same job by the engine in node over the pty, without the browser: what
// the engine and its line cost apart from the page and the bridge.
async function nodeJob(image) {
  const { VexoEngine } = await import(pathToFileURL(path.join(webDir, 'engine.js')).href);
  const { SerialLine } = await import(pathToFileURL(path.join(webDir, 'serial_line.js')).href);
  const sim = await Sim.start(['--pace', '--erase-ms', String(ERASE_MS)]);
  try {
    const line = new SerialLine();
    line.usePort(new PtyPort(sim.ptyPath));
    const ids = [];
    const quiet = () => {};
    const ui = { status: quiet, progressRange: quiet, progress: quiet, controls: quiet, busyIndicator: quiet, log: quiet, logEmpty: quiet, event: quiet, message: async (_text, id) => ids.push(id) };
    // Emscripten's node loader takes a fetch it finds for the browser's and
    // fails; playwright needs it, so it is out of sight only while the engine loads.
    const fetch = globalThis.fetch;
    globalThis.fetch = undefined;
    const engine = await VexoEngine.create({ line, ui }).finally(() => (globalThis.fetch = fetch));
    line.beginJob();
    const t0 = performance.now();
    const cpu0 = process.cpuUsage();
    await engine.run({ name: 'bench.BIN', bytes: image, rate: RATE, mode: 'E.P.R', model: engine.models[0] });
    const cpu = process.cpuUsage(cpu0);
    const ms = performance.now() - t0;
    const { report } = await sim.stop();
    return { ms, cpu: (cpu.user + cpu.system) / 10 / ms, ok: ids.length === 1 && ids[0] === 3025, report };
  } finally {
    await sim.stop();
  }
}

async function main() {
  const scratch = scratchDir();
  const imageFile = path.join(scratch, 'bench.BIN');
  const image = makeImage(imageFile, RECORDS, 0);
  const [server, browser] = await Promise.all([serveDir(webDir), launchBrowser()]);
  const bridge = await startBridge({ server: server.server });
  const sim = await Sim.start(['--pace', '--erase-ms', String(ERASE_MS)]);
  const rows = [];
  let failed = false;
  const row = (what, figure, target, met) => {
    rows.push({ what, figure, target, met });
    if (met === false) failed = true;
  };
  try {
    const { context, page } = await openPage(browser, server.url, { bridge: bridge.url, ports: [{ path: sim.ptyPath }], choose: 0 });
    await pageReady(page);
    const pings = (await page.evaluate((n) => window.__vexoSerial.ping(n), 300)).sort((a, b) => a - b);
    await page.click('#port-choose');
    await page.setInputFiles('#file-input', { name: 'bench.BIN', mimeType: 'application/octet-stream', buffer: Buffer.from(image) });
    await page.selectOption('#rate', String(RATE));

    const complete = await page.evaluate(() => window.vexoPage.engine.text(3025).trim());
    const cdp = await browser.newBrowserCDPSession();
    const pageCdp = await context.newCDPSession(page);
    await pageCdp.send('Performance.enable');
    const metric = async (name) => (await pageCdp.send('Performance.getMetrics')).metrics.find((m) => m.name === name)?.value ?? 0;
    if (PROFILE) {
      await pageCdp.send('Profiler.enable');
      await pageCdp.send('Profiler.setSamplingInterval', { interval: 500 });
      await pageCdp.send('Profiler.start');
    }
    const cpu0 = await cpuByType(cdp);
    const task0 = await metric('TaskDuration');
    const node0 = process.cpuUsage();
    const wall0 = performance.now();
    const job = await timedJob(page);
    const wall = (performance.now() - wall0) / 1000;
    const cpu1 = await cpuByType(cdp);
    const task = (await metric('TaskDuration')) - task0;
    const nodeCpu = process.cpuUsage(node0);
    if (PROFILE) printProfile((await pageCdp.send('Profiler.stop')).profile);
    const completed = job.text.trim() === complete;
    await page.click('#dialog-ok');
    await context.close();
    const { report } = await sim.stop();
    const theoretical = wireMillis(report) + FIXED_PAUSES_MS + ERASE_MS;
    const ratio = job.ms / theoretical;
    const share = (type) => (100 * ((cpu1[type] || 0) - (cpu0[type] || 0))) / wall;

    row(`E.P.R ${RECORDS} records at ${RATE}, paced: measured / wire`, completed
      ? `${ratio.toFixed(3)} (${job.ms.toFixed(0)} / ${theoretical.toFixed(0)} ms)`
      : `failed: ${job.text.trim()}`, '<= 1.10', completed && ratio <= 1.1);
    row('bridge round trip from the page (median / p99)', `${quantile(pings, 0.5).toFixed(2)} / ${quantile(pings, 0.99).toFixed(2)} ms`, '', null);
    const turns = turnarounds(report);
    row('  host turnaround per exchange, as the simulator saw it (median / p90)', `${(quantile(turns, 0.5) / 1000).toFixed(2)} / ${(quantile(turns, 0.9) / 1000).toFixed(2)} ms`, '', null);
    row('page CPU during the job: renderer process', `${share('renderer').toFixed(2)} %`, '<= 5 %', share('renderer') <= 5);
    row('  main thread busy (CDP TaskDuration)', `${((100 * task) / wall).toFixed(2)} %`, '', null);
    row('  browser + other chromium processes', `${(share('browser') + share('utility') + share('gpu') + share('other')).toFixed(2)} %`, '', null);
    row('  bridge frames to the page / to the port', `${bridge.stats.toPageFrames} (${bridge.stats.toPage} bytes) / ${bridge.stats.toPortFrames} (${bridge.stats.toPort} bytes)`, '', null);
    row('  bridge and bench (node)', `${((nodeCpu.user + nodeCpu.system) / 1e4 / wall).toFixed(2)} %`, '', null);

    const solo = await nodeJob(image);
    const soloWire = wireMillis(solo.report) + FIXED_PAUSES_MS + ERASE_MS;
    row('  the same job by the engine in node over the pty (no browser)', solo.ok
      ? `${(solo.ms / soloWire).toFixed(3)} (${solo.ms.toFixed(0)} / ${soloWire.toFixed(0)} ms), turnaround ${(quantile(turnarounds(solo.report), 0.5) / 1000).toFixed(2)} ms, CPU ${solo.cpu.toFixed(2)} %`
      : 'failed', '', null);

    const sizes = codeBytes(webDir);
    const mib = (sizes.wasm + sizes.js) / 1048576;
    row('wasm + JS bytes', `${(sizes.wasm + sizes.js).toLocaleString('en')} (wasm ${sizes.wasm.toLocaleString('en')}, JS ${sizes.js.toLocaleString('en')}; all files ${sizes.all.toLocaleString('en')})`, '<= 1 MiB', mib <= 1);

    const ready = await readyTimes(browser, server.url, 5);
    const sorted = [...ready].sort((a, b) => a - b);
    row('page ready after load (first / median of 5)', `${ready[0].toFixed(0)} / ${quantile(sorted, 0.5).toFixed(0)} ms`, '<= 1 s', ready[0] <= 1000);
  } finally {
    await browser.close();
    await bridge.close();
    await server.close();
    await sim.stop();
  }
  const width = Math.max(...rows.map((r) => r.what.length));
  const figureWidth = Math.max(...rows.map((r) => r.figure.length));
  for (const r of rows) {
    const verdict = r.met === null ? '' : r.met ? 'met' : 'NOT MET';
    console.log(`${r.what.padEnd(width)}  ${r.figure.padEnd(figureWidth)}  ${r.target.padEnd(8)}  ${verdict}`);
  }
  process.exitCode = failed ? 1 : 0;
}

await main();
