// The port: the browser's own picker (narrowed to the usual programming
// cable chips unless the user asks for every port), the ports this page was
// allowed before, and cables that come and go.

export const kPortTextIds = [8003];

// CH340/CH341, CP210x, FTDI, PL2303.
export const kCableVendors = [0x1a86, 0x10c4, 0x0403, 0x067b];

const hex4 = (n) => n.toString(16).toUpperCase().padStart(4, '0');

export function portLabel(port, index = 0) {
  const info = port?.getInfo?.() || {};
  if (info.usbVendorId !== undefined && info.usbProductId !== undefined) {
    return `USB ${hex4(info.usbVendorId)}:${hex4(info.usbProductId)}`;
  }
  return `Serial ${index + 1}`;
}

// The history's "VID:PID", as Linux names it: lower-case hex.
export function usbVidPid(port) {
  const info = port?.getInfo?.() || {};
  if (info.usbVendorId === undefined || info.usbProductId === undefined) return '';
  return `${hex4(info.usbVendorId)}:${hex4(info.usbProductId)}`.toLowerCase();
}

export class PortPicker {
  // serial: navigator.serial or undefined; onLost(port): a port went away;
  // onCancelled(): the picker closed without a port.
  constructor(serial, texts, { onLost, onCancelled, onChange }, doc = document) {
    this.serial = serial;
    this.texts = texts;
    this.onLost = onLost;
    this.onCancelled = onCancelled;
    this.onChange = onChange;
    this.ports = [];
    this.chosen = null;
    this.select = doc.getElementById('port-select');
    this.all = doc.getElementById('port-all');
    this.button = doc.getElementById('port-choose');
    this.doc = doc;
    if (!serial) return;
    this.button.addEventListener('click', () => this.choose());
    this.select.addEventListener('change', () => {
      this.chosen = this.ports[Number(this.select.value)] ?? null;
      this.onChange?.();
    });
    serial.addEventListener('connect', () => this.refresh());
    serial.addEventListener('disconnect', (e) => {
      const port = e.port ?? e.target;
      this.onLost?.(port);
      this.refresh();
    });
    texts.onChange(() => this.draw());
  }

  get port() {
    return this.chosen;
  }

  async refresh() {
    if (!this.serial) return;
    try {
      this.ports = await this.serial.getPorts();
    } catch {
      this.ports = [];
    }
    if (!this.ports.includes(this.chosen)) this.chosen = this.ports.length === 1 ? this.ports[0] : null;
    this.draw();
    this.onChange?.();
  }

  draw() {
    const none = this.doc.createElement('option');
    none.value = '';
    none.textContent = this.texts.t(8003);
    const labels = this.labels();
    const options = this.ports.map((port, i) => {
      const option = this.doc.createElement('option');
      option.value = String(i);
      option.textContent = labels[i];
      return option;
    });
    this.select.replaceChildren(none, ...options);
    const at = this.ports.indexOf(this.chosen);
    this.select.value = at >= 0 ? String(at) : '';
  }

  async choose() {
    const filters = this.all.checked ? [] : kCableVendors.map((usbVendorId) => ({ usbVendorId }));
    let port;
    try {
      port = await this.serial.requestPort({ filters });
    } catch {
      // The user closed the picker, or nothing matched.
      this.onCancelled?.();
      return;
    }
    this.chosen = port;
    await this.refresh();
    if (!this.ports.includes(port)) {
      this.ports.push(port);
      this.chosen = port;
      this.draw();
    }
    this.onChange?.();
  }

  // Two cables of one make read alike: the second and later get a number.
  labels() {
    const seen = new Map();
    return this.ports.map((port, i) => {
      const label = portLabel(port, i);
      const n = (seen.get(label) ?? 0) + 1;
      seen.set(label, n);
      return n > 1 ? `${label} (${n})` : label;
    });
  }

  label() {
    const at = this.ports.indexOf(this.chosen);
    return at >= 0 ? this.labels()[at] : portLabel(this.chosen);
  }

  vidPid() {
    return usbVidPid(this.chosen);
  }

  setDisabled(disabled) {
    for (const el of [this.select, this.all, this.button]) el.disabled = disabled || !this.serial;
  }
}
