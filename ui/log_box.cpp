#include "ui/log_box.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextDocument>
#include <memory>

#include "app/process_state.h"
#include "app/settings.h"
#include "app/text_ids.h"
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
  connect(document(), &QTextDocument::contentsChanged, this, [this] {
    std::lock_guard lock(mutex_);
    length_ = LengthHere() + pending_.size();
  });
}

std::size_t LogBox::TextLength() {
  return length_;
}

void LogBox::Empty() {
  if (OnThreadOf(this)) {
    FlushPending();
    clear();
    return;
  }
  std::lock_guard lock(mutex_);
  pending_.clear();
  empty_pending_ = true;
  length_ = 0;
  PostFlush();
}

void LogBox::AppendLine(const std::string& line) {
  if (OnThreadOf(this)) {
    FlushPending();
    AppendHere(line);
    return;
  }
  std::lock_guard lock(mutex_);
  pending_ += line;
  length_ += line.size();
  PostFlush();
}

void LogBox::PostFlush() {
  if (flush_posted_) return;
  flush_posted_ = true;
  QMetaObject::invokeMethod(
      this, [this] { FlushPending(); }, Qt::QueuedConnection);
}

void LogBox::FlushPending() {
  std::string text;
  bool empty_first = false;
  {
    std::lock_guard lock(mutex_);
    text.swap(pending_);
    empty_first = empty_pending_;
    empty_pending_ = false;
    flush_posted_ = false;
  }
  if (empty_first) clear();
  if (!text.empty()) AppendHere(text);
}

QMenu* LogBox::NewContextMenu() {
  QMenu* menu = createStandardContextMenu();
  menu->addSeparator();
  QAction* save = menu->addAction(QString::fromStdString(LookupText(text::kSaveLogEntry)), this,
                                  &LogBox::SaveAs);
  save->setObjectName(QStringLiteral("saveLog"));
  save->setEnabled(TextLength() > 0);
  return menu;
}

void LogBox::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu(NewContextMenu());
  menu->exec(event->globalPos());
}

bool LogBox::SaveTo(const QString& path, QString& error) {
  FlushPending();
  QString text = toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}

void LogBox::SaveAs() {
  const QString caption = QString::fromStdString(LookupText(text::kSaveLogEntry));
  const QString path = QFileDialog::getSaveFileName(this, caption, QStringLiteral("vexo.log"));
  if (path.isEmpty()) return;
  QString error;
  if (SaveTo(path, error)) return;
  QString message = QString::fromStdString(LookupText(text::kLogNotSaved));
  QMessageBox::warning(this, QString::fromStdString(AppState().ProductNameText),
                       message + QStringLiteral("\n") + path + QStringLiteral("\n") + error);
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
