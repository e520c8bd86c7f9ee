// CUpdaterDialog: the program's one working window. It restores the user's
// last choices when it opens and stores them when it closes, and each press
// of "E.P" or "E.P.R" runs one job through the DialogJobHost it owns, which
// shows the job in the dialog's widgets. Widgets belong to the user-interface
// thread, and so do the dialog's calls. The dialog never closes while a job
// holds it.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "app/ini_file.h"
#include "ui/dialog_job_host.h"
#include "ui/qt_translations.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vexo::ui {
class BusyIndicator;
class LogBox;
class PortList;
}  // namespace vexo::ui

enum class BaudSelection { keep, first };

class CUpdaterDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CUpdaterDialog(QWidget* parent = nullptr);
  ~CUpdaterDialog() override;

  // The user's actions; user-interface thread.
  void StartDownload(int mode);
  void ExitApplication();
  void SelectFirmwareFile();
  void ListProgramMessages();
  void ToggleLanguage();
  void OnModelChanged();
  void ResetBaudSelector(BaudSelection selection);
  void ApplyLanguage();
  void ShowAbout();
  // The job history (Ctrl+H) and the set-up check, from the context menu.
  void ShowHistory();
  void ShowSetupCheck();

  // The job host the download buttons run their jobs on.
  vexo::ui::DialogJobHost& Host() { return *job_host_; }
  // From a download button press until its worker has returned.
  bool JobActive() const { return job_host_->JobActive(); }
  // Where the busy indicator is drawn, in client pixels.
  QRect IndicatorRect() const;

  // Refused while a job holds the dialog. Escape (reject) takes the way of
  // the close box.
  void reject() override;
  void done(int result) override;

 signals:
  // The job host's signals: every message box, as it is shown; the worker
  // has returned with result and has been joined.
  void messageShown(const QString& text);
  void jobFinished(int result);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildControls();
  void LoadSettings();
  void SaveSettings();
  // Keeps the first reason a setting was not saved, to be said at the close.
  void NoteSaved(const vexo::IniWriteStatus& status);
  bool JobHoldsDialog() const;
  QString Text(int id) const;

  std::string unsaved_reason_;  // why a setting was not saved; said once
  QLabel* status_label_ = nullptr;
  QProgressBar* progress_ = nullptr;
  vexo::ui::BusyIndicator* busy_indicator_ = nullptr;
  QLabel* model_caption_ = nullptr;
  QComboBox* model_list_ = nullptr;
  QLabel* port_caption_ = nullptr;
  vexo::ui::PortList* port_list_ = nullptr;
  QLabel* baud_caption_ = nullptr;
  QComboBox* baud_list_ = nullptr;
  QPushButton* open_button_ = nullptr;
  QLineEdit* path_edit_ = nullptr;
  QPushButton* epr_button_ = nullptr;
  QPushButton* ep_button_ = nullptr;
  QPushButton* language_button_ = nullptr;
  QPushButton* exit_button_ = nullptr;
  QPushButton* test_button_ = nullptr;
  vexo::ui::LogBox* log_box_ = nullptr;
  vexo::ui::QtTranslations qt_translations_;
  // Made once the widgets it shows on are; destroyed before them.
  std::unique_ptr<vexo::ui::DialogJobHost> job_host_;
};
