// Helpers for the window's tests: a scratch working directory started up as
// the program would start there, lookup of the dialog's controls by object
// name, and an answerer that closes every message box it sees and keeps its
// text. User-interface thread; the answerer works while the test waits in an
// event loop (QTRY_*, QSignalSpy::wait) or a box runs its own.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <fstream>
#include <string>

#include "app/process_state.h"
#include "app/settings.h"
#include "tests/support/temp_workdir.h"

namespace vexo::testing {

// A working directory with the test language file and the given system.ini
// (none when empty), started up as the program does.
class UiWorkdir : public TempWorkdir {
 public:
  explicit UiWorkdir(const std::string& system_ini = {}, bool diagnostic = false) {
    if (!system_ini.empty()) Write(kSettingsFileName, system_ini);
    if (diagnostic) Write(kDiagnosticFileName, "");
    RunStartup(path());
  }
  std::string Settings() const {
    std::ifstream in(File(kSettingsFileName));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

template <typename T>
T* Control(QWidget& dialog, const char* name) {
  T* control = dialog.findChild<T*>(QLatin1String(name));
  if (!control) qFatal("no control named %s", name);
  return control;
}

inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// Presses OK on every visible message box, polling every few milliseconds.
class MessageAnswerer : public QObject {
 public:
  MessageAnswerer() {
    connect(&poll_, &QTimer::timeout, this, &MessageAnswerer::AnswerVisibleBoxes);
    poll_.start(5);
  }
  QStringList answered;
  // A box seen while `hold` is set stays open until it is cleared.
  bool hold = false;

 private:
  void AnswerVisibleBoxes() {
    if (hold) return;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(window);
      if (!box || !box->isVisible()) continue;
      answered << box->text();
      box->button(QMessageBox::Ok)->click();
    }
  }
  QTimer poll_;
};

}  // namespace vexo::testing
