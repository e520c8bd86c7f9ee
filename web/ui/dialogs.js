// The message box (one OK) and the stop question. Messages come one at a
// time: a second waits until the first is dismissed, as the desktop's boxes.

export class Dialogs {
  constructor(doc = document) {
    this.box = doc.getElementById('dialog');
    this.text = doc.getElementById('dialog-text');
    this.ask = doc.getElementById('confirm-stop');
    this.askText = doc.getElementById('confirm-stop-text');
    this.queue = Promise.resolve();
    this.answer = null;
    doc.getElementById('dialog-ok').addEventListener('click', () => this.box.close());
    doc.getElementById('confirm-stop-yes').addEventListener('click', () => this.settle(true));
    doc.getElementById('confirm-stop-no').addEventListener('click', () => this.settle(false));
    // Escape means "no": leaving a radio erased takes a deliberate click.
    this.ask.addEventListener('close', () => this.settle(false));
  }

  // Settles once the user has dismissed the message.
  message(text) {
    const shown = this.queue.then(
      () =>
        new Promise((resolve) => {
          this.text.textContent = text;
          this.box.addEventListener('close', () => resolve(), { once: true });
          this.box.showModal();
        }),
    );
    this.queue = shown;
    return shown;
  }

  // True when the user confirms the stop.
  confirmStop(text) {
    if (this.answer) return this.answer.promise;
    let resolve;
    const promise = new Promise((r) => (resolve = r));
    this.answer = { promise, resolve };
    this.askText.textContent = text;
    this.ask.showModal();
    return promise;
  }

  // The job ended while the question was open: nothing is left to stop.
  dropStopQuestion() {
    this.settle(false);
  }

  settle(yes) {
    const answer = this.answer;
    if (!answer) return;
    this.answer = null;
    if (this.ask.open) this.ask.close();
    answer.resolve(yes);
  }
}
