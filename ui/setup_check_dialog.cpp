#include "ui/setup_check_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/settings.h"
#include "app/text_ids.h"
#include "download/radio_probe.h"

namespace vexo::ui {
namespace {

enum Column { kResultColumn, kWhatColumn, kFixColumn, kColumnCount };

QString Text(TextId id) {
  return QString::fromStdString(LookupText(id));
}

// The word carries the verdict; the colour only repeats it.
TextId VerdictText(CheckVerdict verdict) {
  switch (verdict) {
    case CheckVerdict::ok:
      return text::kSetupCheckOk;
    case CheckVerdict::warning:
      return text::kSetupCheckWarning;
    case CheckVerdict::problem:
      break;
  }
  return text::kSetupCheckProblem;
}

QColor VerdictColour(CheckVerdict verdict) {
  switch (verdict) {
    case CheckVerdict::ok:
      return QColor(0x1b, 0x7a, 0x2f);
    case CheckVerdict::warning:
      return QColor(0x9a, 0x60, 0x00);
    case CheckVerdict::problem:
      break;
  }
  return QColor(0xb0, 0x1c, 0x1c);
}

}  // namespace

SetupCheckDialog::SetupCheckDialog(ContextSource context_of, QWidget* parent)
    : QDialog(parent), context_of_(std::move(context_of)) {
  setObjectName(QStringLiteral("setupCheckDialog"));
  setWindowTitle(Text(text::kSetupCheckTitle));

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("setupCheckList"));
  list_->setColumnCount(kColumnCount);
  list_->setHeaderLabels({Text(text::kSetupCheckResultHeading), Text(text::kSetupCheckWhatHeading),
                          Text(text::kSetupCheckFixHeading)});
  list_->setRootIsDecorated(false);
  list_->setWordWrap(true);
  list_->header()->setSectionResizeMode(kResultColumn, QHeaderView::ResizeToContents);
  list_->setColumnWidth(kWhatColumn, 380);

  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("setupCheckSummary"));
  summary_->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(this);
  again_ = buttons->addButton(Text(text::kSetupCheckAgain), QDialogButtonBox::ActionRole);
  again_->setObjectName(QStringLiteral("setupCheckAgain"));
  probe_ = buttons->addButton(Text(text::kSetupCheckProbe), QDialogButtonBox::ActionRole);
  probe_->setObjectName(QStringLiteral("setupCheckProbe"));
  QPushButton* close =
      buttons->addButton(Text(text::kSetupCheckClose), QDialogButtonBox::RejectRole);
  connect(again_, &QPushButton::clicked, this, [this] { StartCheck(Probe::no); });
  connect(probe_, &QPushButton::clicked, this, [this] { StartCheck(Probe::yes); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addWidget(summary_);
  layout->addWidget(buttons);
  resize(900, 420);
}

SetupCheckDialog::~SetupCheckDialog() {
  // The thread posts its lines to this dialog: it must have done so before the
  // dialog goes (Qt drops the posted call with the dialog). At most one
  // probe's length.
  if (worker_.joinable()) worker_.join();
}

void SetupCheckDialog::StartCheck(Probe probe) {
  if (checking_) return;
  if (worker_.joinable()) worker_.join();  // the previous one has posted its lines
  checking_ = true;
  again_->setEnabled(false);
  probe_->setEnabled(false);
  list_->clear();
  summary_->setText(Text(text::kSetupCheckRunning));

  const SetupCheckContext context = context_of_(probe);
  worker_ = std::thread([this, context] {
    std::vector<CheckLine> lines = RunSetupChecks(context);
    QMetaObject::invokeMethod(
        this, [this, lines = std::move(lines)] { ShowLines(lines); }, Qt::QueuedConnection);
  });
}

void SetupCheckDialog::ShowLines(const std::vector<CheckLine>& lines) {
  for (const CheckLine& line : lines) {
    auto* row = new QTreeWidgetItem(list_);
    row->setText(kResultColumn, Text(VerdictText(line.verdict)));
    row->setForeground(kResultColumn, VerdictColour(line.verdict));
    row->setText(kWhatColumn, QString::fromStdString(line.what));
    row->setText(kFixColumn, QString::fromStdString(line.fix));
    row->setToolTip(kFixColumn, QString::fromStdString(line.fix));
  }
  summary_->setText(Text(BlocksJob(lines) ? text::kSetupCheckBlocked : text::kSetupCheckReady));
  checking_ = false;
  again_->setEnabled(true);
  probe_->setEnabled(true);
  emit CheckFinished();
}

SetupCheckDialog::ContextSource SystemContextSource(const std::string& port,
                                                    const std::string& firmware_path) {
  return [port, firmware_path](SetupCheckDialog::Probe probe) {
    return SystemSetupCheckContext(
        port.empty() ? std::vector<std::string>{} : std::vector<std::string>{port}, firmware_path,
        probe == SetupCheckDialog::Probe::yes ? ProbeRadioAlso::yes : ProbeRadioAlso::no);
  };
}

}  // namespace vexo::ui
