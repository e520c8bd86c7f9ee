#include "ui/history_dialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/settings.h"
#include "history/history_report.h"
#include "history/history_store.h"
#include "history/history_texts.h"

namespace vexo::ui {
namespace {

constexpr int kRecordRole = Qt::UserRole;
constexpr int kSortRole = Qt::UserRole + 1;
constexpr char kDefaultExportName[] = "vexo-history.csv";
constexpr int kWidestColumn = 280;  // pixels; the details pane shows the rest

enum Column { kTime, kPort, kSerial, kFile, kMode, kResult, kDuration, kLastMessage, kColumns };

constexpr TextId kColumnTexts[kColumns] = {
    text::kHistoryColumnTime,     text::kHistoryColumnPort,        text::kHistoryColumnSerial,
    text::kHistoryColumnFile,     text::kHistoryColumnMode,        text::kHistoryColumnResult,
    text::kHistoryColumnDuration, text::kHistoryColumnLastMessage,
};

QString Text(TextId id) {
  return QString::fromStdString(LookupText(id));
}
QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QString ResultText(const JobRecord& r) {
  TextId id = text::kHistoryInterrupted;
  if (r.result == JobResult::kCompleted) id = text::kHistoryCompleted;
  if (r.result == JobResult::kStopped) id = text::kHistoryStopped;
  if (r.result == JobResult::kFailed) id = text::kHistoryFailed;
  QString result = Text(id);
  if (r.result == JobResult::kCompleted && !r.closing_confirmed)
    result += QStringLiteral(", ") + Text(text::kHistoryNotConfirmed);
  if (r.result == JobResult::kCompleted && r.downing_declined)
    result += QStringLiteral(", ") + Text(text::kHistoryAt9600);
  return result;
}

QStandardItem* Cell(const QString& shown, const QVariant& sort_key) {
  auto* item = new QStandardItem(shown);
  item->setData(sort_key, kSortRole);
  item->setEditable(false);
  return item;
}

QString Hex(std::uint32_t address) {
  return QStringLiteral("0x") +
         QString::number(address, 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

QString SpacedHex(const std::string& hex) {
  QString spaced;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    if (!spaced.isEmpty()) spaced += QLatin1Char(' ');
    spaced += Q(hex.substr(i, 2));
  }
  return spaced;
}

QString DetailsText(const JobRecord& r) {
  const auto line = [](TextId label, const QString& value) {
    return Text(label) + QStringLiteral(": ") + value + QLatin1Char('\n');
  };
  QString text = QStringLiteral("#%1  %2 → %3  (%4)\n")
                     .arg(r.id)
                     .arg(Q(UtcTimeText(r.started_utc_ms)),
                          r.ended_utc_ms ? Q(UtcTimeText(r.ended_utc_ms)) : QStringLiteral("-"),
                          Q(DurationText(r.DurationMs())));
  text += line(text::kHistoryColumnResult, ResultText(r));
  text += line(text::kHistoryProgram,
               Q(std::string(JobProgramText(r.program))) + QLatin1Char(' ') + Q(r.program_version));
  text += line(text::kHistoryUser, Q(r.user_name) + QStringLiteral(" @ ") + Q(r.host_name));
  QString device = Q(r.port_chosen) + QStringLiteral(" → ") + Q(r.port_device);
  if (!r.usb_vid_pid.empty())
    device += QStringLiteral(" (USB %1 %2, %3, %4)")
                  .arg(Q(r.usb_vid_pid), Q(r.usb_product), Q(r.usb_serial), Q(r.usb_path));
  text += line(text::kHistoryDevice, device);
  text +=
      line(text::kHistoryBaud, QStringLiteral("%1 / %2").arg(r.requested_baud).arg(r.used_baud));
  text += line(text::kHistoryModel,
               Q(r.model) + QStringLiteral("  ") + Q(std::string(JobModeText(r.mode))));
  text += line(text::kHistoryFirmware, QStringLiteral("%1, %2 B, SHA-256 %3, %4 records, %5–%6")
                                           .arg(Q(r.firmware_path))
                                           .arg(r.firmware_size)
                                           .arg(Q(r.firmware_sha256))
                                           .arg(r.record_count)
                                           .arg(Hex(r.lowest_address), Hex(r.highest_address)));
  text += line(text::kHistoryIdentity, SpacedHex(r.identity_hex));
  text += Text(text::kHistoryPhases) + QStringLiteral(":\n");
  for (const PhaseRecord& p : r.phases) {
    text += QStringLiteral("  %1  %2  %3  %4 %5  %6 %7/%8\n")
                .arg(Q(p.name), Q(UtcTimeText(p.started_utc_ms)), Q(DurationText(p.duration_ms)),
                     Text(text::kHistoryRetries))
                .arg(p.retries)
                .arg(Text(text::kHistoryBytes))
                .arg(p.bytes_sent)
                .arg(p.bytes_received);
  }
  if (r.mode == JobMode::kEraseProgramVerify) {
    QString read_back =
        QStringLiteral("%1 %2").arg(Text(text::kHistoryPagesCompared)).arg(r.pages_compared);
    if (r.first_difference)
      read_back += QStringLiteral(", %1 %2").arg(Text(text::kHistoryFirstDifference),
                                                 Hex(*r.first_difference));
    text += line(text::kHistoryReadBack, read_back);
  }
  text += Text(text::kHistoryMessages) + QStringLiteral(":\n");
  for (int id : r.message_ids) text += QStringLiteral("  %1  %2\n").arg(id).arg(Q(LookupText(id)));
  if (!r.chain_hash.empty()) text += line(text::kHistoryChain, Q(r.chain_hash));
  return text;
}

}  // namespace

HistoryDialog::HistoryDialog(const std::string& history_path, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("historyDialog"));
  setWindowTitle(Text(text::kHistoryTitle));

  notice_ = new QLabel(this);
  notice_->setObjectName(QStringLiteral("historyNotice"));
  notice_->setWordWrap(true);
  notice_->hide();

  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("historyFilter"));
  filter_->setPlaceholderText(Text(text::kHistoryFilterHint));
  filter_->setClearButtonEnabled(true);

  model_ = new QStandardItemModel(0, kColumns, this);
  for (int c = 0; c < kColumns; ++c)
    model_->setHorizontalHeaderItem(c, new QStandardItem(Text(kColumnTexts[c])));
  proxy_ = new QSortFilterProxyModel(this);
  proxy_->setSourceModel(model_);
  proxy_->setSortRole(kSortRole);
  proxy_->setFilterKeyColumn(-1);  // any column: port, serial, file, result...
  proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);

  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("historyTable"));
  table_->setModel(proxy_);
  table_->setSortingEnabled(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);

  details_ = new QPlainTextEdit(this);
  details_->setObjectName(QStringLiteral("historyDetails"));
  details_->setReadOnly(true);
  details_->setLineWrapMode(QPlainTextEdit::NoWrap);

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(table_);
  split->addWidget(details_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* exporter =
      buttons->addButton(Text(text::kHistoryExportCsv), QDialogButtonBox::ActionRole);
  exporter->setObjectName(QStringLiteral("historyExport"));
  QPushButton* close = buttons->addButton(Text(text::kHistoryClose), QDialogButtonBox::RejectRole);
  close->setObjectName(QStringLiteral("historyClose"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(exporter, &QPushButton::clicked, this, &HistoryDialog::AskAndExport);
  connect(filter_, &QLineEdit::textChanged, proxy_, &QSortFilterProxyModel::setFilterFixedString);
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &HistoryDialog::ShowDetails);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(notice_);
  layout->addWidget(filter_);
  layout->addWidget(split, 1);
  layout->addWidget(buttons);
  resize(960, 600);

  Load(history_path);
  Fill();
  table_->sortByColumn(kTime, Qt::DescendingOrder);
  table_->resizeColumnsToContents();
  for (int c = 0; c < kColumns; ++c)
    table_->setColumnWidth(c, std::min(table_->columnWidth(c), kWidestColumn));
  if (proxy_->rowCount() > 0) table_->selectRow(0);
}

void HistoryDialog::Load(const std::string& history_path) {
  std::error_code ignored;
  if (!std::filesystem::exists(history_path, ignored)) return;  // nothing recorded yet
  HistoryStore store;
  const HistoryStatus opened = store.OpenForReading(history_path);
  QString notice = Q(HistoryNoticeText(store));
  if (opened.ok()) {
    auto all = store.All();
    records_ = std::move(all.value);
    if (!all.ok()) notice = Text(text::kHistoryOpenFailed) + QLatin1Char(' ') + Q(all.error);
  } else {
    notice = Text(text::kHistoryOpenFailed) + QLatin1Char(' ') + Q(opened.error);
  }
  notice_->setText(notice);
  notice_->setVisible(!notice.isEmpty());
}

void HistoryDialog::Fill() {
  for (std::size_t i = 0; i < records_.size(); ++i) {
    const JobRecord& r = records_[i];
    const QString file = Q(std::filesystem::path(r.firmware_path).filename().string());
    const QString last = r.message_ids.empty() ? QString() : QString::number(r.message_ids.back());
    QList<QStandardItem*> row = {
        Cell(Q(UtcTimeText(r.started_utc_ms)), QVariant::fromValue<qint64>(r.started_utc_ms)),
        Cell(Q(r.port_chosen), Q(r.port_chosen)),
        Cell(Q(r.usb_serial), Q(r.usb_serial)),
        Cell(file + QLatin1Char(' ') + Q(r.firmware_sha256.substr(0, kTableDigestChars)), file),
        Cell(Q(std::string(JobModeText(r.mode))), Q(std::string(JobModeText(r.mode)))),
        Cell(ResultText(r), ResultText(r)),
        Cell(Q(DurationText(r.DurationMs())), QVariant::fromValue<qint64>(r.DurationMs())),
        Cell(last, r.message_ids.empty() ? 0 : r.message_ids.back()),
    };
    row[kTime]->setData(QVariant::fromValue<qulonglong>(i), kRecordRole);
    row[kFile]->setToolTip(Q(r.firmware_path));
    model_->appendRow(row);
  }
}

const JobRecord* HistoryDialog::SelectedRecord() const {
  const QModelIndex current = table_->selectionModel()->currentIndex();
  if (!current.isValid()) return nullptr;
  const QModelIndex source = proxy_->mapToSource(proxy_->index(current.row(), kTime));
  return &records_.at(source.data(kRecordRole).toULongLong());
}

void HistoryDialog::ShowDetails() {
  const JobRecord* record = SelectedRecord();
  details_->setPlainText(record ? DetailsText(*record) : QString());
}

std::vector<const JobRecord*> HistoryDialog::ShownRecords() const {
  std::vector<const JobRecord*> shown;
  for (int row = 0; row < proxy_->rowCount(); ++row) {
    const QModelIndex source = proxy_->mapToSource(proxy_->index(row, kTime));
    shown.push_back(&records_.at(source.data(kRecordRole).toULongLong()));
  }
  return shown;
}

bool HistoryDialog::ExportCsv(const QString& file) const {
  std::vector<JobRecord> shown;
  for (const JobRecord* record : ShownRecords()) shown.push_back(*record);
  std::ofstream out(QFile::encodeName(file).toStdString(), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  WriteHistoryCsv(out, shown);
  out.flush();
  return static_cast<bool>(out);
}

void HistoryDialog::AskAndExport() {
  const QString file = QFileDialog::getSaveFileName(this, Text(text::kHistoryExportCsv),
                                                    QLatin1String(kDefaultExportName),
                                                    QStringLiteral("CSV (*.csv)"));
  if (file.isEmpty()) return;
  if (!ExportCsv(file))
    QMessageBox::warning(this, Text(text::kHistoryTitle),
                         Text(text::kHistoryExportFailed) + QLatin1Char(' ') + file);
}

}  // namespace vexo::ui
