// What to check when the port cannot be had or the radio does not answer,
// for the system the browser runs on.

// Messages after which the cable, the driver or the radio's mode are the likely cause.
export const kTroubleMessages = new Set([3006, 3009, 3012]);

// The panel may open mid-job (a radio that stops answering).
export const kTroubleTextIds = [8018, 8020, 8021, 8022, 8023, 8024, 8025, 8026];

export function platformOf(nav) {
  const named = nav?.userAgentData?.platform || '';
  const ua = nav?.userAgent || '';
  const text = `${named} ${ua}`;
  if (/windows/i.test(text)) return 'windows';
  if (/cros|chrome os/i.test(text)) return 'chromeos';
  if (/android/i.test(text)) return 'android';
  if (/mac/i.test(text)) return 'macos';
  if (/linux/i.test(text)) return 'linux';
  return 'other';
}

export function troubleTexts(platform) {
  const own = { windows: [8020], linux: [8021, 8022], macos: [8023] }[platform] || [];
  return [...own, 8024, 8025, 8026];
}

export class Troubleshooting {
  constructor(texts, nav, doc = document) {
    this.texts = texts;
    this.platform = platformOf(nav);
    this.panel = doc.getElementById('troubleshoot');
    this.lead = doc.getElementById('trouble-lead');
    this.list = doc.getElementById('trouble-list');
    this.doc = doc;
    this.leadId = null;
    doc.getElementById('trouble-hide').addEventListener('click', () => this.hide());
    texts.onChange(() => this.draw());
  }

  // leadId: a text saying what happened first (the picker closed), or null.
  show(leadId = null) {
    this.leadId = leadId;
    this.panel.hidden = false;
    this.draw();
  }

  hide() {
    this.panel.hidden = true;
  }

  draw() {
    if (this.panel.hidden) return;
    this.lead.hidden = this.leadId === null;
    this.lead.textContent = this.leadId === null ? '' : this.texts.t(this.leadId);
    this.list.replaceChildren(
      ...troubleTexts(this.platform).map((id) => {
        const li = this.doc.createElement('li');
        li.textContent = this.texts.t(id);
        return li;
      }),
    );
  }
}
