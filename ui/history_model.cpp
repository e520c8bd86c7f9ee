#include "ui/history_model.h"

#include <filesystem>

#include "app/settings.h"
#include "history/history_report.h"
#include "history/history_texts.h"

namespace vexo::ui {
namespace {

constexpr TextId kColumnTexts[HistoryModel::kColumns] = {
    text::kHistoryColumnTime,     text::kHistoryColumnPort,        text::kHistoryColumnSerial,
    text::kHistoryColumnFile,     text::kHistoryColumnMode,        text::kHistoryColumnResult,
    text::kHistoryColumnDuration, text::kHistoryColumnLastMessage,
};

constexpr JobSortKey kColumnSort[HistoryModel::kColumns] = {
    JobSortKey::kStarted, JobSortKey::kPort,   JobSortKey::kSerial,   JobSortKey::kFileName,
    JobSortKey::kMode,    JobSortKey::kResult, JobSortKey::kDuration, JobSortKey::kLastMessage,
};

constexpr JobResult kResults[] = {JobResult::kInterrupted, JobResult::kCompleted,
                                  JobResult::kStopped, JobResult::kFailed};

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

TextId ResultTextId(JobResult result) {
  switch (result) {
    case JobResult::kCompleted:
      return text::kHistoryCompleted;
    case JobResult::kStopped:
      return text::kHistoryStopped;
    case JobResult::kFailed:
      return text::kHistoryFailed;
    case JobResult::kInterrupted:
      break;
  }
  return text::kHistoryInterrupted;
}

QString FileName(const JobRecord& r) {
  return Q(std::filesystem::path(r.firmware_path).filename().string());
}

}  // namespace

HistoryModel::HistoryModel(QObject* parent) : QAbstractTableModel(parent) {
  selection_.sort = JobSortKey::kStarted;
  selection_.direction = SortDirection::kDescending;
}

HistoryModel::~HistoryModel() = default;

QString HistoryModel::Text(TextId id) const {
  auto found = texts_.find(id);
  if (found == texts_.end()) found = texts_.insert(id, Q(LookupText(id)));
  return *found;
}

QString HistoryModel::ResultText(const JobRecord& r) const {
  QString result = Text(ResultTextId(r.result));
  if (r.result == JobResult::kCompleted && !r.closing_confirmed)
    result += QStringLiteral(", ") + Text(text::kHistoryNotConfirmed);
  if (r.result == JobResult::kCompleted && r.downing_declined)
    result += QStringLiteral(", ") + Text(text::kHistoryAt9600);
  return result;
}

QString HistoryModel::Open(const std::string& path) {
  beginResetModel();
  rows_.clear();
  more_ = false;
  store_.reset();
  QString notice;
  store_ = std::make_unique<HistoryStore>();
  const HistoryStatus opened = store_->OpenForReading(path);
  if (opened.kind == HistoryError::kMissing) {
    store_.reset();  // nothing recorded yet
  } else {
    notice = Q(HistoryNoticeText(*store_));
    if (!opened.ok()) {
      notice = Text(text::kHistoryOpenFailed) + QLatin1Char(' ') + Q(opened.error);
      store_.reset();
    } else if (const QString error = FetchPage(); !error.isEmpty()) {
      notice = error;
    }
  }
  endResetModel();
  return notice;
}

QString HistoryModel::FetchPage() {
  auto page = store_->JobPage(selection_, static_cast<std::int64_t>(rows_.size()), kPageRows);
  more_ = page.ok() && page.value.size() == static_cast<std::size_t>(kPageRows);
  for (JobRecord& record : page.value) rows_.push_back(std::move(record));
  return page.ok() ? QString() : Text(text::kHistoryOpenFailed) + QLatin1Char(' ') + Q(page.error);
}

void HistoryModel::Reload() {
  beginResetModel();
  rows_.clear();
  more_ = false;
  if (store_) FetchPage();
  endResetModel();
}

void HistoryModel::SetFilter(const QString& text) {
  selection_.contains = text.toStdString();
  selection_.results_also_matching.clear();
  // The filter matches a result by the words the table shows for it.
  for (JobResult result : kResults) {
    if (!text.isEmpty() && Text(ResultTextId(result)).contains(text, Qt::CaseInsensitive))
      selection_.results_also_matching.push_back(result);
  }
  Reload();
}

void HistoryModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kColumns) return;
  selection_.sort = kColumnSort[column];
  selection_.direction =
      order == Qt::DescendingOrder ? SortDirection::kDescending : SortDirection::kAscending;
  Reload();
}

std::optional<JobRecord> HistoryModel::FullRecord(int row) const {
  if (!store_ || row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return std::nullopt;
  auto job = store_->Job(rows_[static_cast<std::size_t>(row)].id);
  if (!job.ok()) return std::nullopt;
  return std::move(job.value);
}

bool HistoryModel::ForEachShown(const std::function<bool(const JobRecord&)>& visit) const {
  if (!store_) return true;
  return store_->ForEachJob(selection_, visit).ok();
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

bool HistoryModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && more_;
}

void HistoryModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid() || !store_ || !more_) return;
  const int first = static_cast<int>(rows_.size());
  auto page = store_->JobPage(selection_, first, kPageRows);
  more_ = page.ok() && page.value.size() == static_cast<std::size_t>(kPageRows);
  if (page.value.empty()) return;
  beginInsertRows({}, first, first + static_cast<int>(page.value.size()) - 1);
  for (JobRecord& record : page.value) rows_.push_back(std::move(record));
  endInsertRows();
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kColumns)
    return QAbstractTableModel::headerData(section, orientation, role);
  return Text(kColumnTexts[section]);
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows_.size()) return {};
  const JobRecord& r = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::ToolTipRole && index.column() == kFile) return Q(r.firmware_path);
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kTime:
      return Q(UtcTimeText(r.started_utc_ms));
    case kPort:
      return Q(r.port_chosen);
    case kSerial:
      return Q(r.usb_serial);
    case kFile:
      return FileName(r) + QLatin1Char(' ') + Q(r.firmware_sha256.substr(0, kTableDigestChars));
    case kMode:
      return Q(std::string(JobModeText(r.mode)));
    case kResult:
      return ResultText(r);
    case kDuration:
      return Q(DurationText(r.DurationMs()));
    case kLastMessage:
      return r.message_ids.empty() ? QString() : QString::number(r.message_ids.back());
  }
  return {};
}

}  // namespace vexo::ui
