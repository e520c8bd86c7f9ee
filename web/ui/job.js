// A job from the buttons to its end: the engine's ui callbacks (status,
// progress, log, messages), the stop rule, and what the job leaves behind.

import { download, fileStamp, JobRecording } from './records.js';
import { formatDuration } from './jobs.js';
import { kTroubleMessages } from './troubleshoot.js';

// Texts the page says around a job (the stop question, what is missing);
// the stop's outcome (7005, 7006) is the engine's to say.
export const kJobTextIds = [7320, 7325, 8017];

// Phases before which the radio's flash is untouched: a stop there is free.
const kUntouchedPhases = new Set([null, 'handshake']);

export function estimateRemainingMs(elapsedMs, low, high, position) {
  const done = position - low;
  const left = high - position;
  if (done <= 0 || left < 0) return -1;
  return (elapsedMs * left) / done;
}

export function resultOf(exitCode, stopRequested) {
  if (exitCode === 0) return { result: 'completed', exitStatus: 0 };
  if (stopRequested) return { result: 'stopped', exitStatus: 130 };
  return { result: 'failed', exitStatus: 1 };
}

export class Job {
  constructor({ line, texts, dialogs, ports, firmware, store, jobList, trouble, logBox, nav, win, doc }) {
    Object.assign(this, { line, texts, dialogs, ports, firmware, store, jobList, trouble, logBox, nav, win, doc });
    this.engine = null;
    this.running = false;
    this.listing = false;
    this.engineBusy = false;
    this.recording = null;
    this.last = null;
    this.touched = false;
    this.stopRequested = false;
    this.wakeLock = null;
    this.range = { low: 0, high: 0, since: 0 };
    this.el = (id) => doc.getElementById(id);
    this.el('btn-ep').addEventListener('click', () => this.start('E.P'));
    this.el('btn-epr').addEventListener('click', () => this.start('E.P.R'));
    this.el('btn-test').addEventListener('click', () => this.test());
    this.el('btn-stop').addEventListener('click', () => this.stop());
    this.el('save-log').addEventListener('click', () => this.saveLog());
    this.el('save-json').addEventListener('click', () => this.saveEvents());
    win.addEventListener('beforeunload', (e) => {
      if (!this.running) return;
      e.preventDefault();
      // Browsers show their own words; older ones want any non-empty value.
      e.returnValue = 'busy';
    });
    doc.addEventListener('visibilitychange', () => {
      if (doc.visibilityState === 'visible' && this.running && (!this.wakeLock || this.wakeLock.released)) {
        this.holdScreen();
      }
    });
  }

  // The engine's side of the page (docs/web-engine.md).
  callbacks() {
    const progress = this.el('progress');
    const status = this.el('status');
    return {
      status: (text) => {
        status.hidden = text === null;
        status.textContent = text ?? '';
      },
      progressRange: (low, high) => {
        this.range = { low, high, since: performance.now() };
        progress.max = Math.max(1, high - low);
        progress.value = 0;
        this.tick();
      },
      // A step comes with every exchange; the bar and the times follow at
      // the tick's pace, so a fast line never makes the page redraw for each.
      progress: (position) => {
        this.range.position = position;
      },
      controls: (busy) => {
        this.engineBusy = busy;
        this.update();
      },
      busyIndicator: (on) => {
        if (on) progress.removeAttribute('value');
        else progress.value = Math.max(0, (this.range.position ?? this.range.low) - this.range.low);
        progress.classList.toggle('busy', on);
        this.el('busy-text').hidden = !on;
      },
      log: (text) => {
        this.logBox.add(text);
        this.recording?.log(text);
      },
      logEmpty: () => this.logBox.empty(),
      message: (text, id) => {
        this.tick();
        // After the user's own stop the radio's silence is no fault of the set-up.
        if (kTroubleMessages.has(id) && !this.stopRequested) this.trouble.show();
        return this.dialogs.message(text);
      },
      event: (e) => {
        if (e.event === 'phase') {
          // The pace of the phase before tells nothing about this one.
          this.range = { low: 0, high: 0, since: performance.now() };
          if (!kUntouchedPhases.has(e.name)) this.touched = true;
        }
        this.recording?.event(e);
      },
    };
  }

  attach(engine) {
    this.engine = engine;
    const fill = (select, values, chosen) => {
      select.replaceChildren(
        ...values.map((v) => {
          const option = this.doc.createElement('option');
          option.value = option.textContent = String(v);
          return option;
        }),
      );
      select.value = String(values.map(String).includes(String(chosen)) ? chosen : values[0]);
    };
    const saved = (key) => {
      try {
        return this.win.localStorage.getItem(key);
      } catch {
        return null;
      }
    };
    fill(this.el('rate'), engine.rates, saved('vexo.rate') ?? 115200);
    fill(this.el('model'), engine.models, saved('vexo.model') ?? engine.models[0]);
    for (const id of ['rate', 'model']) {
      this.el(id).addEventListener('change', () => {
        try {
          this.win.localStorage.setItem('vexo.' + id, this.el(id).value);
        } catch {
          // Not kept: the choice still holds for this visit.
        }
      });
    }
    this.update();
  }

  get busy() {
    return this.running || this.listing || this.engineBusy;
  }

  update() {
    const busy = this.busy;
    const serial = !!this.nav.serial;
    this.el('btn-ep').disabled = busy || !serial;
    this.el('btn-epr').disabled = busy || !serial;
    this.el('btn-test').disabled = busy;
    this.el('btn-stop').disabled = !this.running;
    this.el('rate').disabled = busy;
    this.el('model').disabled = busy;
    this.el('save-log').disabled = !this.last || this.running;
    this.el('save-json').disabled = !this.last || this.running;
    this.ports.setDisabled(busy);
    this.firmware.setDisabled(busy);
    this.doc.body.dataset.state = !this.engine ? 'loading' : this.running || this.listing ? 'busy' : 'ready';
  }

  // The time boxes: the job's elapsed time, and what the phase's pace leaves.
  tick() {
    if (!this.recording) return;
    const { position: done, low: first } = this.range;
    const bar = this.el('progress');
    if (done !== undefined && bar.hasAttribute('value')) bar.value = Math.max(0, done - first);
    const now = performance.now();
    this.el('elapsed').textContent = formatDuration(now - this.recording.startMs);
    const { low, high, position, since } = this.range;
    const left = position === undefined ? -1 : estimateRemainingMs(now - since, low, high, position);
    this.el('remaining').textContent = left < 0 ? '–' : formatDuration(left);
  }

  async start(mode) {
    if (this.busy || !this.engine || !this.nav.serial) return;
    const file = this.firmware.file;
    if (!file) return void (await this.dialogs.message(this.texts.t(7325)));
    // Refused files never reach the port: the engine's own words say why.
    const refusal = this.firmware.refusal(mode);
    if (refusal) return void (await this.dialogs.message(refusal.text));
    const port = this.ports.port;
    if (!port) {
      this.trouble.show();
      return void (await this.dialogs.message(this.texts.t(8017)));
    }
    const check = file.checks[mode];
    const rate = Number(this.el('rate').value);
    const model = this.el('model').value;
    const recording = new JobRecording({
      version: this.engine.version,
      startedUtcMs: Date.now(),
      portLabel: this.ports.label(),
      device: 'Web Serial',
      usbVidPid: this.ports.vidPid(),
      rate,
      mode,
      model,
      name: file.name,
      size: check.bytes,
      sha256: file.sha256,
      records: check.records,
      trailingBytes: check.trailingBytes,
      lowest: check.lowest,
      highest: check.highest,
    });
    Object.assign(this, { recording, running: true, touched: false, stopRequested: false });
    this.range = { low: 0, high: 0, since: performance.now() };
    this.trouble.hide();
    this.update();
    this.holdScreen();
    const timer = this.win.setInterval(() => this.tick(), 250);
    this.tick();
    // Before the first await: a stop pressed from here on must survive.
    this.line.beginJob();
    this.line.usePort(port);
    try {
      await this.store.add(recording.record);
    } catch {
      // An unlisted job still runs.
    }
    let exitCode = 1;
    try {
      exitCode = await this.engine.run({ name: file.name, bytes: file.bytes, rate, mode, model });
    } catch (error) {
      console.error(error);
    }
    this.win.clearInterval(timer);
    this.tick();
    const { result, exitStatus } = resultOf(exitCode, this.stopRequested);
    recording.finish(result, exitStatus);
    try {
      await this.store.put(recording.record);
    } catch {
      // As above: the job is over either way.
    }
    this.dialogs.dropStopQuestion();
    this.releaseScreen();
    Object.assign(this, { running: false, last: recording });
    this.update();
    await this.jobList.show();
  }

  // Before the erase a stop is free; from the erase on the radio would be
  // left without firmware, so the user confirms first.
  async stop() {
    if (!this.running || this.stopRequested) return;
    if (this.touched) {
      const yes = await this.dialogs.confirmStop(this.texts.t(7320, this.ports.label()));
      if (!yes || !this.running) return;
    }
    this.stopRequested = true;
    this.line.abort();
  }

  async test() {
    if (this.busy || !this.engine) return;
    const file = this.firmware.file;
    if (!file) return void (await this.dialogs.message(this.texts.t(7325)));
    this.listing = true;
    this.update();
    try {
      await this.engine.listing(file.name, file.bytes);
    } catch (error) {
      console.error(error);
    } finally {
      this.listing = false;
      this.update();
    }
  }

  portLost(port) {
    if (this.running && port && port === this.line.port) this.line.portLost(port);
  }

  async holdScreen() {
    if (!this.nav.wakeLock) return;
    try {
      const lock = await this.nav.wakeLock.request('screen');
      if (this.running) this.wakeLock = lock;
      else lock.release().catch(() => {});
    } catch {
      // Refused (battery saver, hidden page): the job runs all the same.
    }
  }

  releaseScreen() {
    this.wakeLock?.release().catch(() => {});
    this.wakeLock = null;
  }

  saveLog() {
    if (!this.last) return;
    const stamp = fileStamp(this.last.facts.startedUtcMs);
    download(this.doc, `vexo-${stamp}.log`, this.last.logText(), 'text/plain');
  }

  saveEvents() {
    if (!this.last) return;
    const stamp = fileStamp(this.last.facts.startedUtcMs);
    download(this.doc, `vexo-${stamp}.jsonl`, this.last.eventsText(), 'application/x-ndjson');
  }
}
