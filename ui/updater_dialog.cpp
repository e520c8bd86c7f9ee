#include "ui/updater_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/process_state.h"
#include "app/settings.h"
#include "app/text_ids.h"
#include "history/history_store.h"
#include "link/port_map.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/batch_window.h"
#include "ui/busy_indicator.h"
#include "ui/choice_lists.h"
#include "ui/history_dialog.h"
#include "ui/log_box.h"
#include "ui/port_list.h"
#include "ui/setup_check_dialog.h"
#include "ui/window_texts.h"

using vexo::AppState;
using vexo::LookupText;
using vexo::ReadSetting;
using vexo::WriteSetting;
namespace setting = vexo::setting;
namespace text = vexo::text;

namespace {

constexpr int kBaudIndexWhenUnknown = 1;  // "19200"
constexpr int kLogMinimumHeight = 280;    // pixels
constexpr int kFileSizeColumn = 1;        // of the file dialog's detail view

QPushButton* NewButton(const QString& caption, const char* name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  // Enter must neither start a job nor end the dialog.
  button->setAutoDefault(false);
  return button;
}

QLabel* NewCaption(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QLatin1String(name));
  return label;
}

QComboBox* NewList(const char* name, const QStringList& entries, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QLatin1String(name));
  list->addItems(entries);
  list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return list;
}

void RetainSizeWhenHidden(QWidget* widget) {
  QSizePolicy policy = widget->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  widget->setSizePolicy(policy);
}

}  // namespace

CUpdaterDialog::CUpdaterDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("updaterDialog"));
  setWindowIcon(vexo::ui::AppIcon());
  // A caption with the system menu and a close box; no minimise or maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  BuildControls();
  job_host_ = std::make_unique<vexo::ui::DialogJobHost>(vexo::ui::JobWidgets{
      .window = this,
      .status = status_label_,
      .progress = progress_,
      .busy_indicator = busy_indicator_,
      .model_list = model_list_,
      .port_list = port_list_,
      .baud_list = baud_list_,
      .path_edit = path_edit_,
      .job_buttons = {epr_button_, ep_button_, exit_button_},
      .log_box = log_box_,
  });
  connect(job_host_.get(), &vexo::ui::DialogJobHost::messageShown, this,
          &CUpdaterDialog::messageShown);
  connect(job_host_.get(), &vexo::ui::DialogJobHost::jobFinished, this,
          &CUpdaterDialog::jobFinished);
  connect(epr_button_, &QPushButton::clicked, this,
          [this] { StartDownload(vexo::kModeEraseProgramVerify); });
  connect(ep_button_, &QPushButton::clicked, this,
          [this] { StartDownload(vexo::kModeEraseProgram); });
  connect(exit_button_, &QPushButton::clicked, this, &CUpdaterDialog::ExitApplication);
  connect(open_button_, &QPushButton::clicked, this, &CUpdaterDialog::SelectFirmwareFile);
  connect(test_button_, &QPushButton::clicked, this, &CUpdaterDialog::ListProgramMessages);
  connect(language_button_, &QPushButton::clicked, this, &CUpdaterDialog::ToggleLanguage);
  // A choice by the user, even of the same model again; not a selection the
  // program makes itself.
  connect(model_list_, &QComboBox::activated, this, &CUpdaterDialog::OnModelChanged);
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, &CUpdaterDialog::ShowAbout);
  auto* history = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
  connect(history, &QShortcut::activated, this, &CUpdaterDialog::ShowHistory);

  LoadSettings();
  ApplyLanguage();
  status_label_->hide();
  ResetBaudSelector(BaudSelection::keep);
  progress_->setValue(0);
  port_list_->RefreshDeviceHints();
  if (!AppState().DiagnosticLog) {
    log_box_->hide();
    test_button_->hide();
  }
  adjustSize();
}

// Only reached once the job has ended (closing is refused until then); the
// job host joins the worker, which may still be leaving its function.
CUpdaterDialog::~CUpdaterDialog() = default;

void CUpdaterDialog::StartDownload(int mode) {
  job_host_->StartDownload(mode);
}

QRect CUpdaterDialog::IndicatorRect() const {
  return busy_indicator_->geometry();
}

void CUpdaterDialog::BuildControls() {
  status_label_ = NewCaption("statusLabel", this);
  RetainSizeWhenHidden(status_label_);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progressBar"));
  progress_->setTextVisible(true);
  progress_->setFocusPolicy(Qt::ClickFocus);
  busy_indicator_ = new vexo::ui::BusyIndicator(this);
  busy_indicator_->setObjectName(QStringLiteral("busyIndicator"));
  busy_indicator_->hide();

  auto* group = new QGroupBox(this);
  group->setObjectName(QStringLiteral("selectionGroup"));
  model_caption_ = NewCaption("modelCaption", group);
  model_list_ = NewList("modelList", vexo::ui::RadioModelChoices(), group);
  port_caption_ = NewCaption("portCaption", group);
  port_list_ = new vexo::ui::PortList(group);
  port_list_->setObjectName(QStringLiteral("portList"));
  auto* port_hint = NewCaption("portHint", group);
  port_hint->setEnabled(false);  // drawn in the muted colour of secondary text
  port_hint->setTextInteractionFlags(Qt::TextSelectableByMouse);
  port_list_->SetHintLabel(port_hint);
  baud_caption_ = NewCaption("baudCaption", group);
  baud_list_ = NewList("baudList", vexo::ui::ProgrammingRateChoices(), group);
  for (auto [caption, list] : {std::pair<QLabel*, QWidget*>{model_caption_, model_list_},
                               {port_caption_, port_list_},
                               {baud_caption_, baud_list_}}) {
    caption->setBuddy(list);
  }

  auto* selection = new QGridLayout(group);
  selection->addWidget(model_caption_, 0, 0);
  selection->addWidget(model_list_, 0, 1);
  selection->setColumnMinimumWidth(2, 16);
  selection->addWidget(port_caption_, 0, 3);
  selection->addWidget(port_list_, 0, 4);
  selection->setColumnMinimumWidth(5, 16);
  selection->addWidget(baud_caption_, 0, 6);
  selection->addWidget(baud_list_, 0, 7);
  selection->setColumnStretch(8, 1);
  selection->addWidget(port_hint, 1, 0, 1, 9);

  open_button_ = NewButton(QString(), "openButton", this);
  path_edit_ = new QLineEdit(this);
  path_edit_->setObjectName(QStringLiteral("pathEdit"));
  path_edit_->setMinimumWidth(320);
  auto* file_row = new QHBoxLayout;
  file_row->addWidget(open_button_);
  file_row->addWidget(path_edit_, 1);

  epr_button_ = NewButton(QStringLiteral("E.P.R"), "eprButton", this);
  ep_button_ = NewButton(QStringLiteral("E.P"), "epButton", this);
  language_button_ = NewButton(QString(), "languageButton", this);
  exit_button_ = NewButton(QString(), "exitButton", this);
  auto* job_row = new QHBoxLayout;
  for (QPushButton* button : {epr_button_, ep_button_, language_button_, exit_button_}) {
    job_row->addStretch(1);
    job_row->addWidget(button);
  }
  job_row->addStretch(1);

  test_button_ = NewButton(QStringLiteral("Test"), "testButton", this);
  auto* test_row = new QHBoxLayout;
  test_row->addStretch(1);
  test_row->addWidget(test_button_);

  log_box_ = new vexo::ui::LogBox(this);
  log_box_->setObjectName(QStringLiteral("logView"));
  log_box_->setMinimumHeight(kLogMinimumHeight);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status_label_);
  layout->addWidget(progress_);
  layout->addWidget(busy_indicator_, 0, Qt::AlignHCenter);
  layout->addWidget(group);
  layout->addLayout(file_row);
  layout->addSpacing(8);
  layout->addLayout(job_row);
  layout->addSpacing(8);
  layout->addLayout(test_row);
  layout->addWidget(log_box_, 1);
}

QString CUpdaterDialog::Text(int id) const {
  return QString::fromStdString(vexo::LookupText(id));
}

void CUpdaterDialog::LoadSettings() {
  // "COM12" -> 12; no number selects nothing, one out of range the first.
  // With nothing saved (the first start) the first name with a device behind
  // it is taken, if there is one.
  const std::string& saved_port = AppState().SavedPortText;
  int port = vexo::DecimalValue(saved_port.size() > 3 ? saved_port.substr(3) : std::string());
  if (port < 0 || port > vexo::kCommPortCount) port = 1;
  if (saved_port.empty()) {
    port_list_->RefreshDeviceHints();
    port = port_list_->FirstPresentIndex() + 1;
  }
  port_list_->setCurrentIndex(port - 1);

  const QString baud =
      QString::fromStdString(ReadSetting(setting::kComputer, setting::kBaud)).toUpper();
  const int baud_index = baud_list_->findText(baud, Qt::MatchFixedString);
  baud_list_->setCurrentIndex(baud_index >= 0 ? baud_index : kBaudIndexWhenUnknown);

  model_list_->setCurrentIndex(0);
  AppState().ModelIndex = 0;

  path_edit_->setText(QString::fromStdString(ReadSetting(setting::kFile, setting::kFilePath)));
}

void CUpdaterDialog::SaveSettings() {
  NoteSaved(
      WriteSetting(setting::kComputer, setting::kPort, port_list_->currentText().toStdString()));
  NoteSaved(
      WriteSetting(setting::kComputer, setting::kBaud, baud_list_->currentText().toStdString()));
  NoteSaved(WriteSetting(setting::kComputer, setting::kRadioType,
                         model_list_->currentText().toStdString()));
  NoteSaved(WriteSetting(setting::kFile, setting::kFilePath, path_edit_->text().toStdString()));
}

void CUpdaterDialog::NoteSaved(const vexo::IniWriteStatus& status) {
  if (!status && unsaved_reason_.empty()) unsaved_reason_ = status.reason;
}

void CUpdaterDialog::ApplyLanguage() {
  port_caption_->setText(Text(text::kPortCaption));
  baud_caption_->setText(Text(text::kBaudCaption));
  open_button_->setText(Text(text::kOpenFileCaption));
  exit_button_->setText(Text(text::kExitCaption));
  status_label_->setText(
      Text(job_host_->JobStopped() ? text::kStatusJobStopped : text::kStatusIdleCaption));
  model_caption_->setText(Text(text::kModelCaption));
  language_button_->setText(vexo::ui::LanguageButtonCaption(AppState().LanguageBase));
  setWindowTitle(vexo::ui::WindowTitle());
  job_host_->ShowProgressTimes();
  qt_translations_.Apply(AppState().LanguageBase);
}

void CUpdaterDialog::ExitApplication() {
  if (JobHoldsDialog()) return;
  // Only the first digit is stored: "1" for Chinese, "2" for English.
  const std::string base = std::to_string(AppState().LanguageBase.load());
  NoteSaved(WriteSetting(setting::kLanguage, setting::kLanguage, base.substr(0, 1)));
  close();
}

bool CUpdaterDialog::JobHoldsDialog() const {
  return job_host_->JobActive() || !exit_button_->isEnabled();
}

void CUpdaterDialog::closeEvent(QCloseEvent* event) {
  if (JobHoldsDialog()) {
    event->ignore();
    return;
  }
  SaveSettings();
  // Said once, before the window goes: the next start would otherwise come
  // up with the old choices and no word why.
  if (!unsaved_reason_.empty()) {
    job_host_->ShowMessage(LookupText(text::kSettingsNotSaved) + "\n" + unsaved_reason_);
    unsaved_reason_.clear();
  }
  event->accept();
  QDialog::done(QDialog::Rejected);
}

// Escape takes the same way as the close box: refused during a job, and
// otherwise closing with the settings stored.
void CUpdaterDialog::reject() {
  close();
}

void CUpdaterDialog::done(int result) {
  if (JobHoldsDialog()) return;
  QDialog::done(result);
}

void CUpdaterDialog::SelectFirmwareFile() {
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("firmwareFileDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QStringLiteral("All Files(*.BIN)"));
  dialog.setDefaultSuffix(QStringLiteral("BIN"));
  // Qt's own dialog matches the filter without regard to case, so firmware
  // files named "*.bin" show as well; the desktop's dialogs may not.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  const QFileInfo current(path_edit_->text().trimmed());
  if (!path_edit_->text().trimmed().isEmpty() && current.absoluteDir().exists()) {
    dialog.setDirectory(current.absoluteDir());
  }
  // Whole sizes ("66.5 KiB"), not cut short by a narrow column.
  if (auto* files = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    files->header()->setSectionResizeMode(kFileSizeColumn, QHeaderView::ResizeToContents);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  path_edit_->setText(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
}

void CUpdaterDialog::ShowAbout() {
  CAboutDialog about(this);
  about.exec();
}

void CUpdaterDialog::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* history = menu.addAction(Text(text::kHistoryMenu), this, &CUpdaterDialog::ShowHistory);
  history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
  menu.addAction(Text(text::kSetupCheckMenu), this, &CUpdaterDialog::ShowSetupCheck);
  menu.addAction(Text(text::kBatchMenu), this, [this] { vexo::ui::OpenBatchWindow(this); });
  menu.addSeparator();
  menu.addAction(vexo::ui::AboutMenuText(AppState().LanguageBase), this,
                 &CUpdaterDialog::ShowAbout);
  menu.exec(event->globalPos());
}

void CUpdaterDialog::ShowHistory() {
  vexo::ui::HistoryDialog history(vexo::DefaultHistoryPath(), this);
  history.exec();
}

void CUpdaterDialog::ShowSetupCheck() {
  vexo::ui::SetupCheckDialog check(
      vexo::ui::SystemContextSource(port_list_->currentText().toStdString(),
                                    path_edit_->text().toStdString()),
      this);
  check.exec();
}
