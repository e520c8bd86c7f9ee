// HistoryDialog: the window's view of the job history: a sortable table of
// jobs with a filter box (port, file, result, serial number), the details of
// the selected job in the user's language, and "Export CSV…". Rows are read
// as they are scrolled to (HistoryModel), the details of the selected job
// only; a history file that does not exist is never created. User-interface
// thread; problems with the file are shown in the dialog.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableView;

namespace vexo::ui {

class HistoryModel;

class HistoryDialog : public QDialog {
  Q_OBJECT

 public:
  explicit HistoryDialog(const std::string& history_path, QWidget* parent = nullptr);

  // Writes the jobs the table shows (scrolled to or not), in its order, as
  // CSV; false when the file cannot be written or is the history itself.
  bool ExportCsv(const QString& file) const;

 private:
  void ShowDetails();
  void AskAndExport();

  std::string history_path_;
  HistoryModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QPlainTextEdit* details_ = nullptr;
  QLabel* notice_ = nullptr;
};

}  // namespace vexo::ui
