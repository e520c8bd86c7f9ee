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

export class Texts {
  constructor(engine, root = document) {
    this.engine = engine;
    this.root = root;
    this.listeners = [];
  }

  t(id, ...values) {
    return fill(this.engine.text(id), ...values);
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
    const doc = this.root;
    doc.documentElement.lang = this.language === 'zh' ? 'zh-CN' : 'en';
    doc.title = this.t(8000);
    for (const el of doc.querySelectorAll('[data-text]')) el.textContent = this.t(Number(el.dataset.text));
    for (const el of doc.querySelectorAll('[data-text-label]')) {
      el.setAttribute('aria-label', this.t(Number(el.dataset.textLabel)));
    }
  }
}
