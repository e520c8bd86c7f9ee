// The page: wires the engine, the serial line and the page's parts together.

import { VexoEngine } from './engine.js';
import { SerialLine } from './serial_line.js';
import { Dialogs } from './ui/dialogs.js';
import { FirmwareFile } from './ui/firmware.js';
import { setUpInstall } from './ui/install.js';
import { Job, kJobTextIds } from './ui/job.js';
import { JobList, JobStore, kJobListTextIds } from './ui/jobs.js';
import { LogBox } from './ui/logbox.js';
import { kPortTextIds, PortPicker } from './ui/ports.js';
import { startLanguage, Texts } from './ui/texts.js';
import { kTroubleTextIds, Troubleshooting } from './ui/troubleshoot.js';

function storage() {
  try {
    return window.localStorage;
  } catch {
    return null;
  }
}

async function main() {
  const doc = document;
  const nav = navigator;
  const line = new SerialLine();
  const dialogs = new Dialogs(doc);
  const logBox = new LogBox(doc.getElementById('log'));
  // The parts that need texts are made once the engine is there; the job
  // exists first, since the engine is made with its callbacks.
  const parts = { line, dialogs, logBox, nav, win: window, doc };
  const job = new Job(parts);
  const engine = await VexoEngine.create({ line, ui: job.callbacks() });
  const texts = new Texts(engine, doc, [...kJobTextIds, ...kPortTextIds, ...kTroubleTextIds, ...kJobListTextIds]);
  const store = await JobStore.open();
  const jobList = new JobList(store, texts, doc);
  const trouble = new Troubleshooting(texts, nav, doc);
  const update = () => job.update();
  const ports = new PortPicker(
    nav.serial,
    texts,
    {
      onLost: (port) => job.portLost(port),
      onCancelled: () => trouble.show(8018),
      onChange: update,
    },
    doc,
  );
  const firmware = new FirmwareFile(engine, texts, update, doc);
  Object.assign(job, { texts, ports, firmware, store, jobList, trouble });

  const lang = doc.getElementById('lang');
  texts.set(startLanguage(storage(), nav.language), null);
  lang.value = texts.language;
  lang.addEventListener('change', () => texts.set(lang.value, storage()));

  doc.getElementById('no-serial').hidden = !!nav.serial;
  ports.draw();
  await ports.refresh();
  await jobList.show();
  window.vexoPage = { engine, line };
  setUpInstall(nav, window, doc);
  // Last: "ready" tells tests and users that everything above is in place.
  job.attach(engine);
}

// The page stays "loading" when the engine cannot start; the console says why.
main().catch((error) => console.error(error));
