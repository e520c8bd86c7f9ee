// vexo-radio-sim as a child of a node test: started with a report file in a
// private folder, its pty path read from its first line, stopped with SIGTERM
// (SIGKILL when it lingers) and its report parsed. Every simulator still
// running when node exits, however it exits, is killed.
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const repoDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const binDir = process.env.VEXO_BIN_DIR || path.join(repoDir, 'build/bin');
export const webDir = process.env.VEXO_WEB_DIR || path.join(repoDir, 'build-web/web');
export const simProgram = path.join(binDir, 'vexo-radio-sim');

const running = new Set();
function killAll() {
  for (const child of running) {
    try {
      child.kill('SIGKILL');
    } catch {}
  }
}
process.on('exit', killAll);
for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) {
  process.on(signal, () => {
    killAll();
    process.exit(128 + os.constants.signals[signal]);
  });
}

const scratchDirs = [];
process.on('exit', () => {
  for (const dir of scratchDirs) fs.rmSync(dir, { recursive: true, force: true });
});

export function scratchDir(prefix = 'vexo-web-') {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
  scratchDirs.push(dir);
  return dir;
}

// A test image written by the simulator itself; returns its bytes.
export function makeImage(file, records, base = 0x400, extra = []) {
  execFileSync(simProgram, ['--make-image', file, '--records', String(records), '--base', String(base), ...extra]);
  return new Uint8Array(fs.readFileSync(file));
}

// Whether the flash holds every record's data at the record's address.
export function flashHoldsImage(flash, image) {
  for (let at = 36; at + 133 <= image.length; at += 133) {
    const address = ((image[at] << 24) | (image[at + 1] << 16) | (image[at + 2] << 8) | image[at + 3]) >>> 0;
    const data = image.subarray(at + 4, at + 132);
    for (let i = 0; i < data.length; ++i) if (flash[address + i] !== data[i]) return false;
  }
  return true;
}

function bytesOfHex(hex) {
  const out = new Uint8Array(hex.length / 2);
  for (let i = 0; i < out.length; ++i) out[i] = parseInt(hex.substr(2 * i, 2), 16);
  return out;
}

export class Sim {
  // Starts vexo-radio-sim with args; resolves once it has named its pty.
  static async start(args = [], { startMs = 10000 } = {}) {
    const sim = new Sim();
    sim.dir = scratchDir('vexo-sim-');
    sim.reportFile = path.join(sim.dir, 'report.json');
    sim.stderrFile = path.join(sim.dir, 'stderr.txt');
    const stderr = fs.openSync(sim.stderrFile, 'w');
    sim.child = spawn(simProgram, [...args, '--report', sim.reportFile], { stdio: ['ignore', 'pipe', stderr] });
    fs.closeSync(stderr);
    running.add(sim.child);
    sim.ended = new Promise((resolve) =>
      sim.child.on('exit', (code, signal) => {
        running.delete(sim.child);
        resolve({ code, signal });
      }),
    );
    sim.ptyPath = await new Promise((resolve, reject) => {
      let text = '';
      const timer = setTimeout(() => reject(new Error(`the simulator named no pty: ${sim.errorOutput()}`)), startMs);
      sim.child.stdout.on('data', (chunk) => {
        text += chunk;
        const newline = text.indexOf('\n');
        if (newline >= 0) {
          clearTimeout(timer);
          resolve(text.slice(0, newline));
        }
      });
      sim.child.on('exit', () => {
        clearTimeout(timer);
        reject(new Error(`the simulator ended at start: ${sim.errorOutput()}`));
      });
    });
    return sim;
  }

  errorOutput() {
    try {
      return fs.readFileSync(this.stderrFile, 'utf8');
    } catch {
      return '';
    }
  }

  // Freezes it: the pty stays, nobody answers (a radio switched off).
  freeze() {
    this.child.kill('SIGSTOP');
  }

  // Stops it and returns { code, signal, report } (report null when none was written).
  async stop(limitMs = 5000) {
    if (this.child.exitCode === null && this.child.signalCode === null) {
      this.child.kill('SIGCONT');
      this.child.kill('SIGTERM');
      const timer = setTimeout(() => this.child.kill('SIGKILL'), limitMs);
      await this.ended;
      clearTimeout(timer);
    }
    return { ...(await this.ended), report: this.report() };
  }

  report() {
    let json;
    try {
      json = JSON.parse(fs.readFileSync(this.reportFile, 'utf8'));
    } catch {
      return null;
    }
    json.flash = bytesOfHex(json.flash);
    for (const e of json.events) e.bytes = bytesOfHex(e.hex);
    json.select = (event, kind) => json.events.filter((e) => e.event === event && (kind === undefined || e.kind === kind));
    return json;
  }
}
