// LogBox: the dialog's log of every frame sent and received, a plain-text box
// that implements LogView for the download thread. Every LogView call is
// carried over to the user-interface thread and waited for. Lengths count the
// text as the lines were given, each line end as the two characters "\r\n".
#pragma once

#include <QPlainTextEdit>
#include <atomic>

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

 private:
  std::size_t LengthHere() const;
  void AppendHere(const std::string& line);

  std::atomic<std::size_t> length_{0};
};

}  // namespace vexo::ui
