// Keeps the page's own files so that it opens without a network once it has
// been loaded. Online, the network wins (a new engine is never hidden behind
// an old copy); offline, the kept copy answers. Only same-origin GETs are
// touched: anything else goes to the network as if this worker were absent.

const kVersion = '1';
const kCache = `vexo-page-${kVersion}`;
const kFiles = [
  './',
  'index.html',
  'app.js',
  'style.css',
  'manifest.webmanifest',
  'engine.js',
  'serial_line.js',
  'vexo-engine.js',
  'vexo-engine.wasm',
  'ui/dialogs.js',
  'ui/firmware.js',
  'ui/install.js',
  'ui/job.js',
  'ui/jobs.js',
  'ui/logbox.js',
  'ui/ports.js',
  'ui/records.js',
  'ui/texts.js',
  'ui/troubleshoot.js',
  'icons/vexo.svg',
  'icons/vexo-192.png',
  'icons/vexo-512.png',
];

self.addEventListener('install', (event) => {
  event.waitUntil(
    caches
      .open(kCache)
      // One missing file must not keep the others out.
      .then((cache) => Promise.all(kFiles.map((file) => cache.add(file).catch(() => undefined))))
      .then(() => self.skipWaiting()),
  );
});

self.addEventListener('activate', (event) => {
  event.waitUntil(
    caches
      .keys()
      .then((names) => Promise.all(names.filter((n) => n.startsWith('vexo-page-') && n !== kCache).map((n) => caches.delete(n))))
      .then(() => self.clients.claim()),
  );
});

function ownGet(request) {
  return request.method === 'GET' && new URL(request.url).origin === self.location.origin;
}

async function answer(request) {
  const cache = await caches.open(kCache);
  try {
    const response = await fetch(request);
    if (response.ok && response.type === 'basic') await cache.put(request, response.clone());
    return response;
  } catch (error) {
    const kept = await cache.match(request, { ignoreSearch: true });
    if (kept) return kept;
    throw error;
  }
}

self.addEventListener('fetch', (event) => {
  if (ownGet(event.request)) event.respondWith(answer(event.request));
});
