// The download engine compiled to WebAssembly, as the page uses it: texts,
// the firmware check, the Test listing and the job (docs/web-engine.md).
// The engine runs on the page's thread; its waits are awaits, so one job or
// listing at a time, and the page stays live while it runs. The firmware is
// copied into the module's memory and goes nowhere else.

const kFirmwareFolder = '/firmware';
const kModes = {'E.P': 0, 'E.P.R': 1};

// The module factory: a script tag defines it in the page; node requires it.
async function moduleFactory(scriptUrl) {
  if (typeof globalThis.createVexoEngine === 'function') return globalThis.createVexoEngine;
  if (typeof process !== 'undefined' && process.versions && process.versions.node) {
    const {createRequire} = await import('node:module');
    const {fileURLToPath} = await import('node:url');
    return createRequire(import.meta.url)(fileURLToPath(scriptUrl));
  }
  await new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = scriptUrl.href;
    script.onload = resolve;
    script.onerror = () => reject(new Error('cannot load ' + scriptUrl.href));
    document.head.appendChild(script);
  });
  return globalThis.createVexoEngine;
}

function lines(text) {
  return text.split('\n').filter((line) => line !== '');
}

// A file name the memory file system takes as one name in the folder.
function storedName(name) {
  const cleaned = String(name || 'firmware.bin').replace(/[\/\0]/g, '_');
  return cleaned === '.' || cleaned === '..' ? 'firmware.bin' : cleaned;
}

// While a job or listing is suspended, ccall would hand back the job's
// pending promise instead of a result, and end the job with it; so every
// synchronous call here goes to the module's exports directly, and only the
// job and the listing go through ccall as asynchronous calls.
export class VexoEngine {
  static async create({line, ui, scriptUrl = new URL('./vexo-engine.js', import.meta.url)}) {
    const factory = await moduleFactory(scriptUrl);
    const module = await factory({vexoLine: line, vexoUi: ui});
    module._vexo_init();
    return new VexoEngine(module);
  }

  constructor(module) {
    this._module = module;
    this.busy = false;
    this.version = this._string('vexo_version');
    this.models = lines(this._string('vexo_models'));
    this.rates = lines(this._string('vexo_rates')).map(Number);
    this.setLanguage('en');
  }

  setLanguage(language) {
    this.language = language === 'zh' ? 'zh' : 'en';
    this._module._vexo_set_language(this.language === 'en' ? 1 : 0);
  }

  text(id) {
    return this._module.UTF8ToString(this._module._vexo_text(id));
  }

  checkImage(name, bytes, mode) {
    // Under a name of its own, so that a check never touches a job's file.
    const path = this._store('.check-' + storedName(name), bytes);
    const pathText = this._newString(path);
    try {
      return JSON.parse(this._module.UTF8ToString(this._module._vexo_check_image(pathText, kModes[mode] ?? 0)));
    } finally {
      this._module._free(pathText);
      this._remove(path);
    }
  }

  async listing(name, bytes) {
    return this._exclusive(name, bytes, (path) =>
      this._module.ccall('vexo_listing', 'number', ['string'], [path], {async: true}));
  }

  async run({name, bytes, rate, mode, model}) {
    const modelIndex = Math.max(0, this.models.indexOf(model));
    return this._exclusive(name, bytes, (path) =>
      this._module.ccall('vexo_run', 'number', ['string', 'number', 'number', 'number'],
                         [path, rate, kModes[mode] ?? 0, modelIndex], {async: true}));
  }

  async _exclusive(name, bytes, call) {
    if (this.busy) throw new Error('a job is running');
    this.busy = true;
    const path = this._store(name, bytes);
    try {
      return await call(path);
    } finally {
      this._remove(path);
      this.busy = false;
    }
  }

  _string(name) {
    return this._module.UTF8ToString(this._module['_' + name]());
  }

  // A copy of text in the module's heap; the caller frees it.
  _newString(text) {
    const size = this._module.lengthBytesUTF8(text) + 1;
    const copy = this._module._malloc(size);
    this._module.stringToUTF8(text, copy, size);
    return copy;
  }

  _store(name, bytes) {
    const path = storedName(name);
    this._module.FS.writeFile(kFirmwareFolder + '/' + path, bytes);
    return path;
  }

  _remove(path) {
    try {
      this._module.FS.unlink(kFirmwareFolder + '/' + path);
    } catch (error) {
      // Gone already.
    }
  }
}
