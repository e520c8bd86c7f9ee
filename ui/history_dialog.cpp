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
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "history/history_report.h"
#include "ui/history_model.h"

namespace vexo::ui {
namespace {

constexpr char kDefaultExportName[] = "vexo-history.csv";
constexpr int kWidestColumn = 280;  // pixels; the details pane shows the rest

QString Q(const std::string& text) {
  return QString::fromStdString(text);
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

QString DetailsText(const HistoryModel& texts, const JobRecord& r) {
  const auto Text = [&](TextId id) { return texts.Text(id); };
  const auto line = [&](TextId label, const QString& value) {
    return Text(label) + QStringLiteral(": ") + value + QLatin1Char('\n');
  };
  QString text = QStringLiteral("#%1  %2 → %3  (%4)\n")
                     .arg(r.id)
                     .arg(Q(UtcTimeText(r.started_utc_ms)),
                          r.ended_utc_ms ? Q(UtcTimeText(r.ended_utc_ms)) : QStringLiteral("-"),
                          Q(DurationText(r.DurationMs())));
  text += line(text::kHistoryColumnResult, texts.ResultText(r));
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
  for (int id : r.message_ids) text += QStringLiteral("  %1  %2\n").arg(id).arg(Text(id));
  if (!r.chain_hash.empty()) text += line(text::kHistoryChain, Q(r.chain_hash));
  return text;
}

}  // namespace

HistoryDialog::HistoryDialog(const std::string& history_path, QWidget* parent)
    : QDialog(parent), history_path_(history_path) {
  setObjectName(QStringLiteral("historyDialog"));
  model_ = new HistoryModel(this);
  const auto Text = [this](TextId id) { return model_->Text(id); };
  setWindowTitle(Text(text::kHistoryTitle));

  notice_ = new QLabel(this);
  notice_->setObjectName(QStringLiteral("historyNotice"));
  notice_->setWordWrap(true);
  notice_->hide();

  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("historyFilter"));
  filter_->setPlaceholderText(Text(text::kHistoryFilterHint));
  filter_->setClearButtonEnabled(true);

  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("historyTable"));
  table_->setModel(model_);
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
  connect(filter_, &QLineEdit::textChanged, model_, &HistoryModel::SetFilter);
  // A new order or filter starts from the first page with nothing selected.
  connect(model_, &QAbstractItemModel::modelReset, this, &HistoryDialog::ShowDetails);
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &HistoryDialog::ShowDetails);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(notice_);
  layout->addWidget(filter_);
  layout->addWidget(split, 1);
  layout->addWidget(buttons);
  resize(960, 600);

  table_->horizontalHeader()->setSortIndicator(HistoryModel::kTime, Qt::DescendingOrder);
  const QString notice = model_->Open(history_path);
  notice_->setText(notice);
  notice_->setVisible(!notice.isEmpty());
  table_->resizeColumnsToContents();
  for (int c = 0; c < HistoryModel::kColumns; ++c)
    table_->setColumnWidth(c, std::min(table_->columnWidth(c), kWidestColumn));
  if (model_->rowCount() > 0) table_->selectRow(0);
}

void HistoryDialog::ShowDetails() {
  const QModelIndex current = table_->selectionModel()->currentIndex();
  const std::optional<JobRecord> record =
      current.isValid() ? model_->FullRecord(current.row()) : std::nullopt;
  details_->setPlainText(record ? DetailsText(*model_, *record) : QString());
}

bool HistoryDialog::ExportCsv(const QString& file) const {
  const std::string path = QFile::encodeName(file).toStdString();
  // Writing over the history (or its journal) would lose it.
  std::error_code ignored;
  for (const char* journal : {"", "-wal", "-shm", "-journal"}) {
    if (std::filesystem::equivalent(path, history_path_ + journal, ignored)) return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  HistoryCsvWriter writer(out);
  const bool read = model_->ForEachShown([&](const JobRecord& record) {
    writer.Write(record);
    return static_cast<bool>(out);
  });
  out.flush();
  return read && static_cast<bool>(out);
}

void HistoryDialog::AskAndExport() {
  const auto Text = [this](TextId id) { return model_->Text(id); };
  const QString file = QFileDialog::getSaveFileName(this, Text(text::kHistoryExportCsv),
                                                    QLatin1String(kDefaultExportName),
                                                    QStringLiteral("CSV (*.csv)"));
  if (file.isEmpty()) return;
  if (!ExportCsv(file))
    QMessageBox::warning(this, Text(text::kHistoryTitle),
                         Text(text::kHistoryExportFailed) + QLatin1Char(' ') + file);
}

}  // namespace vexo::ui
