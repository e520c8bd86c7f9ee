// The built page in headless chromium, its serial port a stand-in carried
// by the bridge to vexo-radio-sim: what a technician does with it, end to end.
// Run: node --test tests/web/page_test.js
// With VEXO_WEB_SCREENSHOTS=1 (or the option --screenshots when run without --test, as
// `node tests/web/page_test.js --screenshots`) it also writes
// docs/screenshots/web-en.png and web-zh.png.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { startBridge } from './bridge.js';
import { launchBrowser, openPage, pageReady, serveDir } from './harness.js';
import { Sim, flashHoldsImage, makeImage, repoDir, scratchDir, webDir } from './sim.js';

const DOWNLOAD_COMPLETE = 3025;
const ERASE_REFUSED = 6009;
const STOPPED_UNTOUCHED = 7005;
const STOPPED_UNFINISHED = 7006;
const PORT_CAPTION = 6000;
const screenshots = process.env.VEXO_WEB_SCREENSHOTS === '1' || process.argv.includes('--screenshots');

let browser;
let server;
let bridge;
let scratch;
let image;

before(async () => {
  scratch = scratchDir();
  image = makeImage(path.join(scratch, 'fw.BIN'), 6, 0x400);
  [server, browser] = await Promise.all([serveDir(webDir), launchBrowser()]);
  bridge = await startBridge({ server: server.server });
});

after(async () => {
  await browser?.close();
  await bridge?.close();
  await server?.close();
});

// A page whose one serial port is a simulator started with simArgs; fn gets
// { page, sim, text }. The simulator and the page are closed on every way out.
async function withPage(simArgs, fn, view = {}) {
  const sim = await Sim.start(simArgs);
  let context;
  try {
    const opened = await openPage(
      browser,
      server.url,
      { bridge: bridge.url, ports: [{ path: sim.ptyPath, info: { usbVendorId: 0x1a86, usbProductId: 0x7523 } }], choose: 0 },
      view,
    );
    context = opened.context;
    const page = opened.page;
    await pageReady(page);
    const text = (id) => page.evaluate((n) => window.vexoPage.engine.text(n), id);
    let result;
    try {
      result = await fn({ page, sim, text });
    } catch (error) {
      if (opened.errors.length > 0) error.message += `\nthe page threw: ${opened.errors.join('; ')}`;
      throw error;
    }
    assert.deepEqual(opened.errors, [], 'the page threw nothing');
    return result;
  } finally {
    await context?.close();
    await sim.stop();
  }
}

// The port chosen through the picker and the file given to the file input.
async function choosePortAndFile(page, { name = 'fw.BIN', bytes = image, rate = '115200' } = {}) {
  await page.click('#port-choose');
  await page.setInputFiles('#file-input', { name, mimeType: 'application/octet-stream', buffer: Buffer.from(bytes) });
  await page.selectOption('#rate', rate);
}

// Waits for the message dialog, returns its text and dismisses it.
async function dismissMessage(page, timeout = 30000) {
  await page.waitForSelector('#dialog', { state: 'visible', timeout });
  const text = (await page.textContent('#dialog-text')).trim();
  await page.click('#dialog-ok');
  return text;
}

async function jobEnded(page, timeout = 10000) {
  await page.waitForSelector('body[data-state="ready"]', { timeout });
  assert.equal(await page.isEnabled('#btn-epr'), true, 'E.P.R usable again');
}

describe('the page against the simulator', () => {
  // What the page tests stand on: the stand-in must fail where the browser's port fails.
  test('the stand-in port behaves as the browser\'s', { timeout: 30000 }, async () => {
    await withPage([], async ({ page }) => {
      const seen = await page.evaluate(async () => {
        const outcome = (promise) => promise.then(() => 'ok', (e) => e.name);
        const port = await navigator.serial.requestPort();
        await port.open({ baudRate: 9600 });
        const again = await outcome(port.open({ baudRate: 9600 }));
        const writer = port.writable.getWriter();
        const reader = port.readable.getReader();
        await writer.write(new Uint8Array([0x55, 0xaa, 0x03, 0x57, 0x00, 0x00, 0x5a]));
        const ack = Array.from((await reader.read()).value);
        const lockedClose = await outcome(port.close());
        reader.releaseLock();
        writer.releaseLock();
        await port.close();
        const closedClose = await outcome(port.close());
        await port.open({ baudRate: 19200 });
        const pending = outcome(port.readable.getReader().read());
        const disconnected = new Promise((resolve) =>
          navigator.serial.addEventListener('disconnect', (e) => resolve(e.target === port)),
        );
        window.__vexoSerial.pull(0);
        const result = { again, ack, lockedClose, closedClose, read: await pending, event: await disconnected, readable: port.readable };
        result.closeLost = await outcome(port.close());
        result.reopen = await outcome(port.open({ baudRate: 9600 }));
        result.ports = (await navigator.serial.getPorts()).length;
        return result;
      });
      assert.deepEqual(seen, {
        again: 'InvalidStateError',
        ack: [0x06],
        lockedClose: 'TypeError',
        closedClose: 'InvalidStateError',
        read: 'NetworkError',
        event: true,
        readable: null,
        closeLost: 'ok',
        reopen: 'NetworkError',
        ports: 0,
      });
      assert.deepEqual(bridge.stats.opens.slice(-2), [9600, 19200]);
    });
  });

  test('E.P.R completes and the radio holds the image', { timeout: 60000 }, async () => {
    await withPage(['--erase-ms', '20'], async ({ page, sim, text }) => {
      const expected = (await text(DOWNLOAD_COMPLETE)).trim();
      await choosePortAndFile(page);
      await page.click('#btn-epr');
      assert.equal(await dismissMessage(page), expected);
      await jobEnded(page);
      const { report } = await sim.stop();
      assert.ok(flashHoldsImage(report.flash, image));
      assert.ok(report.select('message', 'read_request').length > 0);
      for (const p of report.select('message', 'program')) assert.equal(p.rate, 115200);
    });
  });

  test('a radio that refuses the erase ends with the desktop message', { timeout: 60000 }, async () => {
    await withPage(['--erase-ms', '20', '--erase-reply', '45'], async ({ page, text }) => {
      const expected = (await text(ERASE_REFUSED)).trim();
      await choosePortAndFile(page);
      await page.click('#btn-epr');
      assert.equal(await dismissMessage(page), expected);
      await jobEnded(page);
    });
  });

  test('the cable pulled mid-job ends the job cleanly', { timeout: 60000 }, async () => {
    const many = makeImage(path.join(scratch, 'many.BIN'), 64, 0x400);
    await withPage(['--erase-ms', '20', '--write-ms', '40', '--verbose'], async ({ page, sim }) => {
      await choosePortAndFile(page, { bytes: many });
      await page.click('#btn-epr');
      const deadline = Date.now() + 20000;
      while (!/\bprogram\b/.test(sim.errorOutput())) {
        assert.ok(Date.now() < deadline, 'programming never began');
        await new Promise((r) => setTimeout(r, 20));
      }
      // The language switches mid-job, as the window's does, and the job's
      // own message follows it.
      await page.selectOption('#lang', 'zh');
      const pulledAt = Date.now();
      await page.evaluate(() => window.__vexoSerial.pull(0));
      const message = await dismissMessage(page, 20000);
      assert.match(message, /[\u4e00-\u9fff]/);
      await jobEnded(page);
      assert.ok(Date.now() - pulledAt < 20000);
      const programs = (await sim.stop()).report.select('message', 'program');
      assert.ok(programs.length < 64, 'the job stopped writing');
    });
  });

  // A radio left erased has no firmware: before the erase Stop is at once,
  // from the erase on only when confirmed, and "No" lets the job go on.
  test('the stop rule: at once before the erase, confirmed after it', { timeout: 60000 }, async () => {
    await withPage(['--probe-rate', 'none'], async ({ page, text }) => {
      const untouched = (await text(STOPPED_UNTOUCHED)).trim();
      await choosePortAndFile(page);
      await page.click('#btn-epr');
      await page.waitForSelector('#btn-stop:enabled');
      await page.click('#btn-stop');
      assert.equal(await dismissMessage(page), untouched);
      await jobEnded(page);
    });
    await withPage(['--erase-ms', '3000', '--verbose'], async ({ page, sim, text }) => {
      const unfinished = (await text(STOPPED_UNFINISHED)).trim();
      await choosePortAndFile(page);
      await page.click('#btn-epr');
      const deadline = Date.now() + 20000;
      while (!/\berase_all\b/.test(sim.errorOutput())) {
        assert.ok(Date.now() < deadline, 'the erase never began');
        await new Promise((r) => setTimeout(r, 20));
      }
      await page.click('#btn-stop');
      await page.click('#confirm-stop-no');
      assert.equal(await page.getAttribute('body', 'data-state'), 'busy', 'the job went on');
      await page.click('#btn-stop');
      await page.click('#confirm-stop-yes');
      assert.equal(await dismissMessage(page), unfinished);
      await jobEnded(page);
    });
  });

  test('a bad file is refused before the port is opened', { timeout: 60000 }, async () => {
    await withPage(['--erase-ms', '20'], async ({ page, sim }) => {
      const short = new Uint8Array(36 + 132).fill(7);
      await choosePortAndFile(page, { name: 'short.BIN', bytes: short });
      const refusal = await page.evaluate(
        (bytes) => window.vexoPage.engine.checkImage('short.BIN', new Uint8Array(bytes), 'E.P.R').refusal,
        Array.from(short),
      );
      assert.ok(refusal, 'the engine refuses it');
      await page.waitForSelector('#file-refusal', { state: 'visible' });
      assert.ok((await page.textContent('#file-refusal')).includes(refusal.text.trim().split('\n')[0]));
      if (await page.isEnabled('#btn-epr')) {
        await page.click('#btn-epr');
        await dismissMessage(page);
      }
      assert.deepEqual(await page.evaluate(() => window.__vexoSerial.opens()), []);
      assert.equal((await sim.stop()).report.select('message').length, 0);
    });
  });

  test('the language switch changes the captions', { timeout: 30000 }, async () => {
    await withPage([], async ({ page, text }) => {
      const before = await page.evaluate(() => window.vexoPage.engine.language);
      const captionBefore = await text(PORT_CAPTION);
      const bodyBefore = await page.innerText('body');
      const tag = await page.evaluate(() => document.querySelector('#lang').tagName);
      if (tag === 'SELECT') {
        const other = await page.evaluate(
          () => [...document.querySelector('#lang').options].find((o) => !o.selected).value,
        );
        await page.selectOption('#lang', other);
      } else {
        await page.click('#lang');
      }
      const now = await page.evaluate(() => window.vexoPage.engine.language);
      assert.notEqual(now, before);
      const captionNow = await text(PORT_CAPTION);
      assert.notEqual(captionNow, captionBefore);
      const bodyNow = await page.innerText('body');
      assert.ok(bodyBefore.includes(captionBefore.trim()) && bodyNow.includes(captionNow.trim()), 'the port caption follows');
    });
  });

  test('the saved log replays against the simulator', { timeout: 90000 }, async () => {
    const log = path.join(scratch, 'saved.log');
    await withPage(['--erase-ms', '20'], async ({ page }) => {
      await choosePortAndFile(page);
      await page.click('#btn-epr');
      await dismissMessage(page);
      await jobEnded(page);
      const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save-log')]);
      await download.saveAs(log);
    });
    assert.match(fs.readFileSync(log, 'latin1'), /^(\+\d+ )?S:55 AA 03 57 00 00 5A /m);
    const replay = await Sim.start(['--replay', log]);
    let context;
    try {
      const opened = await openPage(browser, server.url, { bridge: bridge.url, ports: [{ path: replay.ptyPath }], choose: 0 });
      context = opened.context;
      await pageReady(opened.page);
      await choosePortAndFile(opened.page);
      await opened.page.click('#btn-epr');
      await dismissMessage(opened.page);
      await jobEnded(opened.page);
      await context.close();
      context = null;
      const ended = await Promise.race([replay.ended, new Promise((r) => setTimeout(() => r(null), 10000))]);
      const { report } = await replay.stop();
      const why = JSON.stringify(report?.replay);
      assert.deepEqual(ended, { code: 0, signal: null }, `the replay ended by itself, all matched: ${why}`);
      assert.equal(report.replay.ran_to_end, true, why);
    } finally {
      await context?.close();
      await replay.stop();
    }
  });

  test('nothing overflows sideways at 360 px', { timeout: 30000 }, async () => {
    await withPage(
      [],
      async ({ page }) => {
        await page.setInputFiles('#file-input', { name: 'fw.BIN', mimeType: 'application/octet-stream', buffer: Buffer.from(image) });
        const overflow = await page.evaluate(() => {
          const width = document.documentElement.clientWidth;
          // Wider content inside a box that scrolls or clips it stays on the page.
          const clipped = (e) => {
            for (let a = e.parentElement; a && a !== document.body; a = a.parentElement) {
              if (getComputedStyle(a).overflowX !== 'visible') return a.getBoundingClientRect().right <= width + 0.5;
            }
            return false;
          };
          const wide = [...document.querySelectorAll('body *')]
            .filter((e) => e.getClientRects().length > 0 && e.getBoundingClientRect().right > width + 0.5 && !clipped(e))
            .map((e) => `${e.tagName.toLowerCase()}${e.id ? '#' + e.id : ''}`);
          return { scroll: document.documentElement.scrollWidth, width, wide };
        });
        assert.ok(overflow.scroll <= overflow.width, JSON.stringify(overflow));
        assert.deepEqual(overflow.wide, []);
      },
      { width: 360, height: 740 },
    );
  });

  test('screenshots in English and Chinese', { skip: !screenshots && 'only with --screenshots', timeout: 90000 }, async () => {
    const many = makeImage(path.join(scratch, 'shot.BIN'), 200, 0x400);
    for (const [language, locale] of [['en', 'en-US'], ['zh', 'zh-CN']]) {
      await withPage(
        ['--erase-ms', '20', '--write-ms', '30', '--verbose'],
        async ({ page, sim }) => {
          if ((await page.evaluate(() => window.vexoPage.engine.language)) !== language) {
            const tag = await page.evaluate(() => document.querySelector('#lang').tagName);
            if (tag === 'SELECT') await page.selectOption('#lang', language);
            else await page.click('#lang');
          }
          await choosePortAndFile(page, { name: 'TR310P4_V2.20.BIN', bytes: many });
          await page.click('#btn-epr');
          const deadline = Date.now() + 20000;
          while ((sim.errorOutput().match(/\bprogram\b/g) || []).length < 150 && Date.now() < deadline) {
            await new Promise((r) => setTimeout(r, 50));
          }
          await page.screenshot({ path: path.join(repoDir, `docs/screenshots/web-${language}.png`) });
        },
        { locale },
      );
    }
  });
});
