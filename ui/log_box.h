// LogBox: the dialog's log of every frame sent and received, a plain-text box
// that implements LogView for the download thread. Lines from another thread
// are handed over without waiting and shown together at the next turn of the
// event loop (or sooner, by FlushPending), so a download never waits for the
// box to lay out its text. Lengths count the text as the lines were given,
// each line end as the two characters "\r\n", pending lines included.
// Its context menu adds "Save log…" to the standard entries: the text as
// shown, lines ended by "\r\n", into a file the user picks.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <atomic>
#include <mutex>
#include <string>

#include "link/log_view.h"

namespace vexo::ui {

class LogBox : public QPlainTextEdit, public LogView {
  Q_OBJECT

 public:
  explicit LogBox(QWidget* parent = nullptr);

  // LogView, callable from any thread. TextLength reads a count kept up to
  // date with every change, so the exchange's cap check costs no round trip.
  std::size_t TextLength() override;
  void Empty() override;
  void AppendLine(const std::string& line) override;

  // Shows what other threads have handed in; user-interface thread only.
  void FlushPending();

  // The standard context menu and "Save log…"; the caller owns it.
  QMenu* NewContextMenu();
  // Writes the log as shown, each line ended by "\r\n", to path (replaced
  // whole or left untouched); false with error set to the reason.
  bool SaveTo(const QString& path, QString& error);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Asks for a file and saves there, telling a failure in a message box.
  void SaveAs();
  std::size_t LengthHere() const;
  void AppendHere(const std::string& line);
  // Caller holds mutex_.
  void PostFlush();

  std::atomic<std::size_t> length_{0};
  std::mutex mutex_;
  std::string pending_;         // lines not shown yet
  bool empty_pending_ = false;  // the box is to be emptied before them
  bool flush_posted_ = false;
};

}  // namespace vexo::ui
