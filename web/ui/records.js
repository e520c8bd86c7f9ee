// What a job leaves behind: its traffic log in vexo-flash's `--log
// --log-times` form, its `--json` event stream, and its history record.
// Built from the engine's callbacks as the job runs; the clock is passed in
// so that the same job always gives the same files.

const kProgressEveryMs = 100;
const kLineEnd = '\r\n';

export function utcSeconds(ms) {
  return new Date(ms).toISOString().replace(/\.\d{3}Z$/, 'Z');
}

export function withLineEnd(line) {
  return line.replace(/\r?\n$/, '') + kLineEnd;
}

// facts: { version, startedUtcMs, portLabel, device, usbVidPid, rate, mode, model,
//          name, size, sha256, records, trailingBytes, lowest, highest }
export function logHeaderText(f) {
  return (
    `VEXO ${f.version} traffic log; ${utcSeconds(f.startedUtcMs)}; port ${f.portLabel} ` +
    `(${f.device || 'no device'}); rate ${f.rate}; mode ${f.mode}; firmware ${f.name}; ` +
    `${f.size} bytes; sha256 ${f.sha256}; ${f.records} records; ${f.trailingBytes} trailing bytes`
  );
}

// A job as the desktop history keeps it, under the same field names, before
// anything is known; the store gives it its id.
export function blankJobRecord() {
  return {
    started_utc_ms: 0,
    ended_utc_ms: 0,
    program: 'web',
    program_version: '',
    user_name: '',
    host_name: '',
    port_chosen: '',
    port_device: '',
    usb_vid_pid: '',
    usb_product: '',
    usb_serial: '',
    usb_path: '',
    requested_baud: 0,
    used_baud: 0,
    model: '',
    mode: 'E.P',
    firmware_path: '',
    firmware_size: 0,
    firmware_sha256: '',
    record_count: 0,
    lowest_address: 0,
    highest_address: 0,
    identity_hex: '',
    phases: [],
    pages_compared: 0,
    first_difference: null,
    message_ids: [],
    result: 'interrupted',
    closing_confirmed: false,
    downing_declined: false,
    exit_status: 0,
  };
}

export class JobRecording {
  constructor(facts, now = () => performance.now(), wallNow = () => Date.now()) {
    this.facts = facts;
    this.now = now;
    this.wallNow = wallNow;
    this.startMs = now();
    this.logLines = ['# ' + logHeaderText(facts) + kLineEnd];
    this.events = [];
    this.phase = null;
    this.lastProgressMs = -1e6;
    this.heldProgress = null;
    this.record = Object.assign(blankJobRecord(), {
      started_utc_ms: facts.startedUtcMs,
      program_version: facts.version,
      port_chosen: facts.portLabel,
      usb_vid_pid: facts.usbVidPid || '',
      requested_baud: facts.rate,
      used_baud: facts.rate,
      model: facts.model,
      mode: facts.mode,
      firmware_path: facts.name,
      firmware_size: facts.size,
      firmware_sha256: facts.sha256,
      record_count: facts.records,
      lowest_address: facts.lowest ?? 0,
      highest_address: facts.highest ?? 0,
    });
    this.emit('start', {
      port: facts.portLabel,
      device: facts.device,
      usb_serial: '',
      rate: facts.rate,
      mode: facts.mode,
      file: facts.name,
      sha256: facts.sha256,
      records: facts.records,
    });
  }

  elapsed() {
    return Math.max(0, Math.round(this.now() - this.startMs));
  }

  // As TrafficLog::AppendLine: every line the engine logs gets its time.
  log(line) {
    this.logLines.push(`+${this.elapsed()} ${withLineEnd(line)}`);
  }

  emit(event, fields, t = event === 'start' ? 0 : this.elapsed()) {
    this.events.push({ v: 1, t, event, ...fields });
  }

  flushProgress() {
    if (this.heldProgress) this.sendProgress(this.heldProgress);
  }

  sendProgress(p) {
    this.heldProgress = null;
    this.lastProgressMs = p.at;
    this.emit('progress', { phase: this.phase, done: p.done, total: p.total }, p.at);
  }

  // The engine's event(e) callback.
  event(e) {
    const r = this.record;
    switch (e.event) {
      case 'phase': {
        this.flushProgress();
        this.phase = e.name;
        this.lastProgressMs = -1e6;
        this.emit('phase', { name: e.name });
        const open = r.phases[r.phases.length - 1];
        if (open && open.duration_ms === null) open.duration_ms = this.wallNow() - open.started_utc_ms;
        r.phases.push({
          name: e.name,
          started_utc_ms: this.wallNow(),
          duration_ms: null,
          retries: 0,
          bytes_sent: 0,
          bytes_received: 0,
        });
        break;
      }
      case 'progress': {
        const p = { done: e.done, total: e.total, at: this.elapsed() };
        if (e.done < e.total && p.at - this.lastProgressMs < kProgressEveryMs) this.heldProgress = p;
        else this.sendProgress(p);
        break;
      }
      case 'phase_end': {
        this.flushProgress();
        const phase = r.phases.findLast((x) => x.name === e.name);
        if (phase) {
          if (phase.duration_ms === null) phase.duration_ms = this.wallNow() - phase.started_utc_ms;
          phase.retries = e.retries ?? 0;
          phase.bytes_sent = e.bytes_sent ?? 0;
          phase.bytes_received = e.bytes_received ?? 0;
        }
        break;
      }
      case 'identity':
        this.flushProgress();
        r.identity_hex = e.hex;
        this.emit('identity', { hex: e.hex });
        break;
      case 'rate':
        r.used_baud = e.baud;
        r.downing_declined = !!e.downing_declined;
        break;
      case 'read_back':
        r.pages_compared = e.pages_compared ?? 0;
        r.first_difference = e.first_difference ?? null;
        break;
      case 'closing':
        r.closing_confirmed = !!e.confirmed;
        break;
      case 'message':
        this.message(e.id, e.text);
        break;
      default:
        break;
    }
  }

  message(id, text) {
    this.flushProgress();
    this.record.message_ids.push(id);
    this.emit('message', { id, text });
  }

  finish(result, exitStatus) {
    this.flushProgress();
    const r = this.record;
    r.result = result;
    r.exit_status = exitStatus;
    r.ended_utc_ms = this.wallNow();
    for (const phase of r.phases) {
      if (phase.duration_ms === null) phase.duration_ms = r.ended_utc_ms - phase.started_utc_ms;
    }
    this.emit('end', {
      result,
      exit_status: exitStatus,
      closing_confirmed: r.closing_confirmed,
      history_row: null,
      history_head: null,
    });
  }

  logText() {
    return this.logLines.join('');
  }

  eventsText() {
    return this.events.map((e) => JSON.stringify(e) + '\n').join('');
  }
}

// A file the browser offers to save; nothing leaves the machine.
export function download(doc, name, text, type) {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const a = doc.createElement('a');
  a.href = url;
  a.download = name;
  doc.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// "20261209-134512" for file names.
export function fileStamp(ms) {
  return utcSeconds(ms).replace(/[-:]/g, '').replace('T', '-').replace('Z', '');
}
