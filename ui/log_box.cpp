#include "ui/log_box.h"

#include <QFontDatabase>
#include <QTextCursor>
#include <QTextDocument>

#include "ui/ui_thread.h"

namespace vexo::ui {

LogBox::LogBox(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // A whole download writes megabytes of lines; an undo history of them
  // would only cost memory.
  setUndoRedoEnabled(false);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  connect(document(), &QTextDocument::contentsChanged, this, [this] { length_ = LengthHere(); });
}

std::size_t LogBox::TextLength() {
  return length_;
}

void LogBox::Empty() {
  RunOnThreadOf(this, [this] { clear(); });
}

void LogBox::AppendLine(const std::string& line) {
  RunOnThreadOf(this, [this, &line] { AppendHere(line); });
}

std::size_t LogBox::LengthHere() const {
  // The document keeps one separator per block, the last one included, and
  // each separator stands for a "\r\n" the lines carried. Both counts are
  // kept by the document, so this costs nothing however long the log grows.
  const QTextDocument* doc = document();
  const int chars = doc->characterCount() - 1;
  const int line_ends = doc->blockCount() - 1;
  return static_cast<std::size_t>(chars + line_ends);
}

void LogBox::AppendHere(const std::string& line) {
  QString text = QString::fromStdString(line);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  moveCursor(QTextCursor::End);
  insertPlainText(text);
  ensureCursorVisible();
}

}  // namespace vexo::ui
