// The jobs this browser ran, kept in IndexedDB ("vexo", store "jobs") under
// the desktop history's field names, a table of them and an export in the
// form `vexo-flash --history-export json` writes.

import { blankJobRecord, download, fileStamp } from './records.js';

const kResultText = { completed: 7121, stopped: 7122, interrupted: 7123, failed: 7140 };
export const kJobListTextIds = Object.values(kResultText);

const kPhaseFields = ['bytes_received', 'bytes_sent', 'duration_ms', 'name', 'retries', 'started_utc_ms'];

// The desktop writes its objects with their members in name order.
function sorted(value) {
  if (Array.isArray(value)) return value.map(sorted);
  if (value === null || typeof value !== 'object') return value;
  return Object.fromEntries(
    Object.keys(value)
      .sort()
      .map((k) => [k, sorted(value[k])]),
  );
}

export function exportObject(record) {
  // Fields the browser cannot know stay as the desktop leaves them empty.
  const out = { id: 0, ...blankJobRecord(), chain_hash: '' };
  for (const k of Object.keys(out)) out[k] = record[k] ?? out[k];
  out.phases = (record.phases || []).map((p) =>
    Object.fromEntries(kPhaseFields.map((k) => [k, p[k] ?? (k === 'name' ? '' : 0)])),
  );
  return sorted(out);
}

// Oldest first, each object indented inside the array as the desktop's writer does.
export function exportText(records) {
  if (records.length === 0) return '[]\n';
  const objects = records.map((r) => '  ' + JSON.stringify(exportObject(r), null, 2).replace(/\n/g, '\n  '));
  return '[\n' + objects.join(',\n') + '\n]\n';
}

function request(req) {
  return new Promise((resolve, reject) => {
    req.onsuccess = () => resolve(req.result);
    req.onerror = () => reject(req.error);
  });
}

export class JobStore {
  static async open(indexedDB = globalThis.indexedDB) {
    if (!indexedDB) return new JobStore(null);
    const req = indexedDB.open('vexo', 1);
    req.onupgradeneeded = () => req.result.createObjectStore('jobs', { keyPath: 'id', autoIncrement: true });
    try {
      return new JobStore(await request(req));
    } catch {
      // No storage (a locked-down profile): jobs still run, unlisted.
      return new JobStore(null);
    }
  }

  constructor(db) {
    this.db = db;
  }

  async run(mode, work) {
    if (!this.db) return undefined;
    return request(work(this.db.transaction('jobs', mode).objectStore('jobs')));
  }

  // Written when the job starts, so a page closed mid-job leaves "interrupted".
  async add(record) {
    const id = await this.run('readwrite', (s) => s.add(record));
    if (id !== undefined) record.id = id;
    return id;
  }

  put(record) {
    return this.run('readwrite', (s) => s.put(record));
  }

  async all() {
    return (await this.run('readonly', (s) => s.getAll())) || [];
  }

  clear() {
    return this.run('readwrite', (s) => s.clear());
  }
}

function duration(ms) {
  const s = Math.floor(ms / 1000);
  const hms = [Math.floor(s / 3600), Math.floor(s / 60) % 60, s % 60];
  const two = (n) => String(n).padStart(2, '0');
  return hms[0] > 0 ? `${hms[0]}:${two(hms[1])}:${two(hms[2])}` : `${hms[1]}:${two(hms[2])}`;
}

export function formatDuration(ms) {
  return duration(Math.max(0, ms));
}

export class JobList {
  constructor(store, texts, doc = document) {
    this.store = store;
    this.texts = texts;
    this.doc = doc;
    this.body = doc.querySelector('#jobs-table tbody');
    this.empty = doc.getElementById('jobs-empty');
    doc.getElementById('jobs-export').addEventListener('click', () => this.export());
    doc.getElementById('jobs-clear').addEventListener('click', () => this.clear());
    texts.onChange(() => this.show());
  }

  async show() {
    const records = await this.store.all();
    const t = (id) => this.texts.t(id);
    const rows = records
      .slice()
      .reverse()
      .map((r) => {
        const tr = this.doc.createElement('tr');
        const last = r.message_ids?.length ? t(r.message_ids[r.message_ids.length - 1]) : '';
        const cells = [
          new Date(r.started_utc_ms).toISOString().slice(0, 19).replace('T', ' '),
          r.port_chosen,
          r.firmware_path,
          r.mode,
          kResultText[r.result] ? t(kResultText[r.result]) : r.result,
          r.ended_utc_ms ? formatDuration(r.ended_utc_ms - r.started_utc_ms) : '',
          last,
        ];
        for (const text of cells) {
          const td = this.doc.createElement('td');
          td.textContent = text ?? '';
          tr.append(td);
        }
        tr.dataset.result = r.result;
        return tr;
      });
    this.body.replaceChildren(...rows);
    this.empty.hidden = rows.length > 0;
  }

  async export() {
    const records = (await this.store.all()).sort((a, b) => a.id - b.id);
    download(this.doc, `vexo-history-${fileStamp(Date.now())}.json`, exportText(records), 'application/json');
  }

  async clear() {
    await this.store.clear();
    await this.show();
  }
}
