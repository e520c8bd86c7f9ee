// The firmware file: chosen or dropped, read once, hashed, and judged by the
// engine for both modes before any port is touched.

const hex = (n) => (n === null || n === undefined ? '-' : '0x' + n.toString(16).toUpperCase().padStart(4, '0'));

export async function sha256Hex(bytes) {
  const digest = await crypto.subtle.digest('SHA-256', bytes);
  return Array.from(new Uint8Array(digest), (b) => b.toString(16).padStart(2, '0')).join('');
}

export class FirmwareFile {
  constructor(engine, texts, onChange, doc = document) {
    this.engine = engine;
    this.texts = texts;
    this.onChange = onChange;
    this.doc = doc;
    this.file = null; // { name, bytes, sha256, checks: { 'E.P': ..., 'E.P.R': ... } }
    this.input = doc.getElementById('file-input');
    this.facts = doc.getElementById('file-facts');
    this.refusalBox = doc.getElementById('file-refusal');
    this.zone = doc.getElementById('drop-zone');
    this.disabled = false;
    this.input.addEventListener('change', () => {
      if (this.input.files?.[0]) this.load(this.input.files[0]);
    });
    // The whole page takes a drop: a file let go beside the zone is no loss.
    const root = doc.documentElement;
    root.addEventListener('dragover', (e) => {
      if (!e.dataTransfer?.types?.includes('Files')) return;
      e.preventDefault();
      e.dataTransfer.dropEffect = this.disabled ? 'none' : 'copy';
      this.zone.classList.add('over');
    });
    root.addEventListener('dragleave', (e) => {
      if (e.target === root || e.target === this.zone) this.zone.classList.remove('over');
    });
    root.addEventListener('drop', (e) => {
      e.preventDefault();
      this.zone.classList.remove('over');
      const file = e.dataTransfer?.files?.[0];
      if (file && !this.disabled) this.load(file);
    });
    texts.onChange(() => this.check());
  }

  async load(file) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const sha256 = await sha256Hex(bytes);
    this.file = { name: file.name, bytes, sha256, checks: {} };
    this.check();
    this.onChange?.();
  }

  // The engine's refusals are worded in the language in use: asked again on a switch.
  check() {
    if (this.file) {
      for (const mode of ['E.P', 'E.P.R']) {
        this.file.checks[mode] = this.engine.checkImage(this.file.name, this.file.bytes, mode);
      }
    }
    this.draw();
  }

  // The engine's refusal of the file for mode, or null.
  refusal(mode) {
    return this.file?.checks[mode]?.refusal ?? null;
  }

  draw() {
    if (!this.file) {
      this.facts.replaceChildren();
      this.refusalBox.hidden = true;
      return;
    }
    const c = this.file.checks['E.P'];
    const line = (text, cls) => {
      const p = this.doc.createElement('p');
      p.textContent = text;
      if (cls) p.className = cls;
      return p;
    };
    const lines = [line(this.file.name, 'file-name')];
    // A file the engine could not read at all has no facts, only its refusal.
    if (c.bytes !== null) {
      lines.push(line(this.texts.t(7304, c.bytes, c.records, this.file.sha256), 'digest'));
      lines.push(line(this.texts.t(8005, hex(c.lowest), hex(c.highest))));
      if (c.trailingBytes > 0) lines.push(line(`${this.texts.t(7003)} ${c.trailingBytes}`));
    }
    this.facts.replaceChildren(...lines);
    // A refusal for both modes is the engine's word on E.P; else E.P.R's alone.
    const refusal = this.refusal('E.P') ?? this.refusal('E.P.R');
    this.refusalBox.hidden = !refusal;
    this.refusalBox.textContent = refusal?.text ?? '';
  }

  setDisabled(disabled) {
    this.disabled = disabled;
    this.input.disabled = disabled;
    this.zone.classList.toggle('disabled', disabled);
  }
}
