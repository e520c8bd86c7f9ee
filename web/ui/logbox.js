// The traffic log box: what the engine logs, without times, as the desktop's
// box shows it. Bounded, so a long job never grows the page without end, and
// drawn a few times a second, a line a block: a fast line never waits for the
// screen, and a new line lays out only itself, not the whole box.

const kDrawIntervalMs = 200;

export class LogBox {
  constructor(box, maxLines = 2000, win = window) {
    this.box = box;
    this.maxLines = maxLines;
    this.pending = [];
    this.win = win;
    this.scheduled = false;
    this.cleared = false;
  }

  add(line) {
    this.pending.push(line.replace(/\r?\n$/, ''));
    if (this.pending.length > this.maxLines) this.pending.splice(0, this.pending.length - this.maxLines);
    this.schedule();
  }

  // The engine empties its box when the text grows past its limit, which at
  // 270 characters a record can be every exchange: the box is emptied at the
  // next drawing, with what came after, so it never stands blank meanwhile.
  empty() {
    this.pending = [];
    this.cleared = true;
    this.schedule();
  }

  schedule() {
    if (this.scheduled) return;
    this.scheduled = true;
    this.win.setTimeout(() => this.draw(), kDrawIntervalMs);
  }

  draw() {
    this.scheduled = false;
    const box = this.box;
    // Follow the end unless the user scrolled up to read.
    const follow = box.scrollHeight - box.scrollTop - box.clientHeight < 24;
    const doc = box.ownerDocument;
    const fragment = doc.createDocumentFragment();
    for (const text of this.pending) {
      const row = doc.createElement('div');
      row.textContent = text;
      fragment.append(row);
    }
    this.pending = [];
    if (this.cleared) box.replaceChildren(fragment);
    else box.append(fragment);
    this.cleared = false;
    let extra = box.childNodes.length - this.maxLines;
    while (extra-- > 0) box.firstChild.remove();
    if (follow) box.scrollTop = box.scrollHeight;
  }
}
