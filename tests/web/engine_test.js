// The WebAssembly engine in node, its SerialLine over a pty, against
// vexo-radio-sim: the same jobs and faults the desktop's tests run, each
// ending with the desktop's messages and exit.
// Run: node --no-experimental-fetch --test tests/web/engine_test.js
import assert from 'node:assert/strict';
import path from 'node:path';
import { describe, test, before } from 'node:test';
import { pathToFileURL } from 'node:url';
import { PtyPort } from './pty_port.js';
import { Sim, flashHoldsImage, makeImage, scratchDir, webDir } from './sim.js';

const { VexoEngine } = await import(pathToFileURL(path.join(webDir, 'engine.js')).href);
const { SerialLine } = await import(pathToFileURL(path.join(webDir, 'serial_line.js')).href);

const DOWNLOAD_COMPLETE = 3025;
const EXCHANGE_FAILED = 3006;
const NO_REPLY_IN_TIME = 3009;
const READ_BACK_CHECKSUM = 3010;
const ERASE_REFUSED = 6009;
const FLASH_DIFFERS = 6011;
const FILE_UNREADABLE = 2011;
const RECORDS = 6;

// One engine and one line for every job, as the page keeps them; each job
// gets a port of its own and the callbacks record into its own `seen`.
let image;
let engine;
let line;
let seen;
before(async () => {
  image = makeImage(path.join(scratchDir(), 'fw.BIN'), RECORDS, 0x400);
  line = new SerialLine();
  const ui = {
    status() {},
    progressRange() {},
    progress() {},
    controls: (busy) => seen.controls.push(busy),
    busyIndicator() {},
    log: (text) => seen.log.push(text),
    logEmpty() {}, // the box empties itself when full; the test keeps every line
    message: async (text, id) => {
      seen.messages.push(id);
      seen.texts.push(text);
    },
    event: (e) => seen.events.push(e),
  };
  engine = await VexoEngine.create({ line, ui });
  engine.setLanguage('en');
});

// A job against a simulator started with simArgs, stopped whatever happens.
// Returns the exit, the message ids and texts, the events, the log and the
// simulator's report.
async function runJob(simArgs, { mode = 'E.P.R', rate = 115200, bytes = image, beforeRun } = {}) {
  const sim = await Sim.start(['--erase-ms', '20', ...simArgs]);
  seen = { messages: [], texts: [], events: [], log: [], controls: [] };
  const job = seen;
  try {
    beforeRun?.(sim);
    line.usePort(new PtyPort(sim.ptyPath));
    line.beginJob();
    job.exit = await engine.run({ name: 'fw.BIN', bytes, rate, mode, model: engine.models[0] });
  } finally {
    job.report = (await sim.stop()).report;
  }
  return job;
}

describe('engine against the simulator', () => {
  test('E.P.R at 115200 leaves the image in the flash, read back and closed', async () => {
    const job = await runJob([]);
    assert.equal(job.exit, 0, job.texts.join('\n'));
    assert.deepEqual(job.messages, [DOWNLOAD_COMPLETE]);
    assert.ok(flashHoldsImage(job.report.flash, image));
    const programs = job.report.select('message', 'program');
    assert.equal(programs.length, RECORDS);
    for (const p of programs) assert.equal(p.rate, 115200);
    assert.ok(job.report.select('message', 'read_request').length > 0);
    assert.equal(job.report.select('message', 'closing').length, 1);
    assert.equal(job.report.select('message', 'finish').length, 1);
    assert.deepEqual(job.controls, [true, false]);
    const phases = job.events.filter((e) => e.event === 'phase').map((e) => e.name);
    assert.deepEqual(phases, ['handshake', 'erase', 'programming', 'read-back', 'closing']);
    assert.ok(job.log.some((l) => l.startsWith('S:55 AA 03 57 00 00 5A')), job.log.slice(0, 3).join('\n'));
  });

  test('E.P at 57600 moves the loader to 57600 and reads nothing back', async () => {
    const job = await runJob([], { mode: 'E.P', rate: 57600 });
    assert.equal(job.exit, 0, job.texts.join('\n'));
    assert.deepEqual(job.messages, [DOWNLOAD_COMPLETE]);
    assert.ok(flashHoldsImage(job.report.flash, image));
    assert.equal(job.report.select('message', 'read_request').length, 0);
    assert.equal(job.report.select('message', 'bpsset')[0].bytes.at(-1), '3'.charCodeAt(0));
    for (const p of job.report.select('message', 'program')) assert.equal(p.rate, 57600);
  });

  const faults = [
    { name: 'an echo with a wrong byte', sim: ['--wrong-echo', '2'], messages: [EXCHANGE_FAILED], exit: 1 },
    {
      name: 'a record never echoed',
      sim: ['--no-echo', '2'],
      messages: [NO_REPLY_IN_TIME],
      exit: 1,
      // records 0 and 1, then record 2 three times
      check: (report) => assert.equal(report.select('message', 'program').length, 5),
    },
    { name: 'an echo lost once', sim: ['--no-echo', '1:1'], messages: [DOWNLOAD_COMPLETE], exit: 0 },
    { name: 'the erase refused', sim: ['--erase-reply', '45'], messages: [ERASE_REFUSED], exit: 1 },
    { name: 'a read-back page with a wrong sum', sim: ['--corrupt-page-sum', '0'], messages: [READ_BACK_CHECKSUM], exit: 1 },
    {
      name: 'a flash byte that differs',
      sim: ['--corrupt-flash', String(0x400 + 128 * 3 + 77)],
      messages: [FLASH_DIFFERS],
      exit: 1,
      check: (report) => assert.equal(report.select('message', 'closing').length, 0),
    },
    {
      name: 'the closing frame unanswered',
      sim: ['--closing-silent'],
      messages: [NO_REPLY_IN_TIME, EXCHANGE_FAILED, DOWNLOAD_COMPLETE],
      exit: 0,
    },
    {
      name: 'the faster rate refused',
      sim: ['--downing-reply', '15'],
      messages: [EXCHANGE_FAILED, DOWNLOAD_COMPLETE],
      exit: 0,
      check: (report) => {
        assert.equal(report.select('message', 'bpsset').length, 0);
        for (const p of report.select('message', 'program')) assert.equal(p.rate, 9600);
      },
    },
    { name: 'the radio hanging up mid-programming', sim: ['--hang-up-after', '3'], messages: [NO_REPLY_IN_TIME], exit: 1 },
  ];
  for (const fault of faults) {
    test(`${fault.name}: ${fault.messages.join(', ')}, exit ${fault.exit}`, async () => {
      const job = await runJob(fault.sim);
      assert.deepEqual(job.messages, fault.messages, job.texts.join('\n'));
      assert.equal(job.exit, fault.exit);
      assert.equal(job.controls.at(-1), false, 'the controls are given back');
      fault.check?.(job.report);
    });
  }

  test('no radio on the line: no reply in time, and the job ends', async () => {
    const job = await runJob([], { beforeRun: (sim) => sim.freeze() });
    assert.deepEqual(job.messages, [NO_REPLY_IN_TIME], job.texts.join('\n'));
    assert.equal(job.exit, 1);
  });

  test('a short file is refused before the line is touched', async () => {
    const short = new Uint8Array(36 + 132).fill(7);
    const job = await runJob([], { bytes: short });
    assert.deepEqual(job.messages, [FILE_UNREADABLE], job.texts.join('\n'));
    assert.equal(job.exit, 1);
    assert.equal(job.report.select('message').length, 0);
    assert.equal(job.report.select('port').length, 0, 'the port was never opened');
    assert.equal(engine.checkImage('short.BIN', short, 'E.P.R').refusal?.id, FILE_UNREADABLE);
  });
});
