// Installable and usable offline: the service worker keeps the page's own
// files; the install button shows when the browser offers installing.

export function setUpInstall(nav, win, doc = document) {
  if (nav.serviceWorker && win.isSecureContext) {
    nav.serviceWorker.register('sw.js').catch(() => {
      // Without a worker the page still runs online.
    });
  }
  const button = doc.getElementById('install');
  let offer = null;
  win.addEventListener('beforeinstallprompt', (e) => {
    e.preventDefault();
    offer = e;
    button.hidden = false;
  });
  button.addEventListener('click', async () => {
    if (!offer) return;
    button.hidden = true;
    offer.prompt();
    await offer.userChoice.catch(() => null);
    offer = null;
  });
  win.addEventListener('appinstalled', () => (button.hidden = true));
}
