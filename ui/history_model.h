// HistoryModel: the History dialog's table over the history file, fetched a
// page at a time as the view scrolls to it, sorted and filtered by SQLite, so
// a history of a million rows opens as fast as one of ten. Texts of the
// user's language are looked up once each. Holds the file open for reading
// (never creates it) while it lives. User-interface thread; a file that
// cannot be read is reported by Open and error().
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/text_ids.h"
#include "history/history_store.h"

namespace vexo::ui {

class HistoryModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kTime, kPort, kSerial, kFile, kMode, kResult, kDuration, kLastMessage, kColumns };
  static constexpr int kPageRows = 200;

  explicit HistoryModel(QObject* parent = nullptr);
  ~HistoryModel() override;

  // Reads the first page of path; a missing file is an empty history. The
  // notice to show (a file set aside or read-only, or why it cannot be read);
  // empty when there is none.
  QString Open(const std::string& path);
  // Rows whose port, serial number, file, digest, mode or result contain text.
  void SetFilter(const QString& text);
  // The whole job of a row, with its phases and messages.
  std::optional<JobRecord> FullRecord(int row) const;
  // Every row the table shows, fetched or not, in its order; false when the
  // history could not be read to the end.
  bool ForEachShown(const std::function<bool(const JobRecord&)>& visit) const;
  // language.sys is read once per text for the life of the model.
  QString Text(TextId id) const;
  QString ResultText(const JobRecord& record) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 private:
  void Reload();
  // Appends the next page; the error text when the file cannot be read.
  QString FetchPage();

  std::unique_ptr<HistoryStore> store_;
  JobSelection selection_;
  std::vector<JobRecord> rows_;
  bool more_ = false;
  mutable QHash<TextId, QString> texts_;
};

}  // namespace vexo::ui
