// Every word the page shows comes from the engine's language file; the page
// only knows text numbers. Elements carry them as data-text (their content)
// or data-text-label (their accessible name).

const kStoreKey = 'vexo.language';

export function startLanguage(storage, browserLanguage) {
  const saved = storage?.getItem(kStoreKey);
  if (saved === 'zh' || saved === 'en') return saved;
  return /^zh\b/i.test(browserLanguage || '') ? 'zh' : 'en';
}

// Fills %1, %2, ... as the desktop's texts expect.
export function fill(text, ...values) {
  return text.replace(/%(\d)/g, (all, n) => (n > 0 && n <= values.length ? String(values[n - 1]) : all));
}

// Texts are kept once asked for; those a job may need are asked for when
// the language is set, so a job's messages cost no lookups.
export class Texts {
  constructor(engine, root = document, jobTextIds = []) {
    this.engine = engine;
    this.root = root;
    this.listeners = [];
    this.kept = new Map();
    this.jobTextIds = jobTextIds;
  }

  raw(id) {
    const key = `${this.language}:${id}`;
    if (this.kept.has(key)) return this.kept.get(key);
    const text = this.engine.text(id);
    if (typeof text !== 'string') return '';
    this.kept.set(key, text);
    return text;
  }

  t(id, ...values) {
    return fill(this.raw(id), ...values);
  }

  get language() {
    return this.engine.language;
  }

  set(language, storage) {
    this.engine.setLanguage(language);
    try {
      storage?.setItem(kStoreKey, language);
    } catch {
      // A browser that keeps nothing (private mode) still switches for now.
    }
    this.apply();
    for (const listener of this.listeners) listener(language);
  }

  onChange(listener) {
    this.listeners.push(listener);
  }

  apply() {
    for (const id of this.jobTextIds) this.raw(id);
    const doc = this.root;
    doc.documentElement.lang = this.language === 'zh' ? 'zh-CN' : 'en';
    doc.title = this.t(8000);
    for (const el of doc.querySelectorAll('[data-text]')) el.textContent = this.t(Number(el.dataset.text));
    for (const el of doc.querySelectorAll('[data-text-label]')) {
      el.setAttribute('aria-label', this.t(Number(el.dataset.textLabel)));
    }
  }
}
