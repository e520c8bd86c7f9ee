// SetupCheckDialog: the set-up check in the window, one row per check with
// its result word, what was checked and what to do; "Check again" reruns it,
// "Probe" reruns it with the read-only radio probe. The check runs on a thread
// of its own and its lines come back to the user-interface thread; the
// dialog waits for a running check when it is destroyed. User-interface
// thread only. The context comes
// from the caller (the window: this computer, its port and firmware file).
#pragma once

#include <QDialog>
#include <functional>
#include <thread>

#include "link/setup_check.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace vexo::ui {

class SetupCheckDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Probe { no, yes };
  using ContextSource = std::function<SetupCheckContext(Probe)>;

  explicit SetupCheckDialog(ContextSource context_of, QWidget* parent = nullptr);
  ~SetupCheckDialog() override;

  // Starts a check unless one is running; the list empties until it is done.
  void StartCheck(Probe probe);
  bool Checking() const { return checking_; }

  QTreeWidget* List() const { return list_; }
  QLabel* Summary() const { return summary_; }

 signals:
  void CheckFinished();

 private:
  void ShowLines(const std::vector<CheckLine>& lines);

  ContextSource context_of_;
  QTreeWidget* list_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* again_ = nullptr;
  QPushButton* probe_ = nullptr;
  bool checking_ = false;
  std::thread worker_;  // joined by the destructor and before the next check
};

// The window's context for the check: this computer, the given port ("COMn"
// or a path; empty: every device) and firmware file.
SetupCheckDialog::ContextSource SystemContextSource(const std::string& port,
                                                    const std::string& firmware_path);

}  // namespace vexo::ui
