// HistoryDialog: the window's view of the job history: a sortable table of
// jobs with a filter box (port, file, result, serial number), the details of
// the selected job in the user's language, and "Export CSV…". Reads the
// history file once when opened and never creates one that does not exist.
// User-interface thread; problems with the file are shown in the dialog.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "history/job_record.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace vexo::ui {

class HistoryDialog : public QDialog {
  Q_OBJECT

 public:
  explicit HistoryDialog(const std::string& history_path, QWidget* parent = nullptr);

  // Writes the jobs the table shows, in its order, as CSV; false when the
  // file cannot be written.
  bool ExportCsv(const QString& file) const;

 private:
  void Load(const std::string& history_path);
  void Fill();
  void ShowDetails();
  void AskAndExport();
  std::vector<const JobRecord*> ShownRecords() const;
  const JobRecord* SelectedRecord() const;

  std::vector<JobRecord> records_;
  QStandardItemModel* model_ = nullptr;
  QSortFilterProxyModel* proxy_ = nullptr;
  QTableView* table_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QPlainTextEdit* details_ = nullptr;
  QLabel* notice_ = nullptr;
};

}  // namespace vexo::ui
