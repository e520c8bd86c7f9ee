#include "ui/batch_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/process_state.h"
#include "app/settings.h"
#include "app/text_ids.h"
#include "download/radio_probe.h"
#include "history/sha256.h"
#include "ui/batch_text.h"
#include "ui/choice_lists.h"
#include "ui/port_list.h"

namespace vexo::ui {
namespace {

constexpr char kDefaultRate[] = "115200";
const char* const kModes[] = {"E.P", "E.P.R"};
constexpr int kVerifyModeIndex = 1;
constexpr char kChildProgram[] = "vexo-flash";
constexpr int kMessageColumn = 6;    // of a lane's row: takes the width that is left
constexpr int kInitialWidth = 1180;  // pixels; grows to show every column of the lanes
constexpr int kInitialHeight = 380;

QComboBox* NewList(const char* name, const QStringList& items, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QLatin1String(name));
  list->addItems(items);
  return list;
}

void SelectText(QComboBox* list, const std::string& text, int otherwise) {
  const int index = list->findText(QString::fromStdString(text), Qt::MatchFixedString);
  list->setCurrentIndex(index >= 0 ? index : otherwise);
}

}  // namespace

void OpenBatchWindow(QWidget* parent) {
  auto* window = new BatchWindow(parent);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
  window->raise();
  window->activateWindow();
}

bool AnyBatchWindowOpen() {
  const QWidgetList windows = QApplication::topLevelWidgets();
  return std::any_of(windows.begin(), windows.end(), [](QWidget* w) {
    return qobject_cast<BatchWindow*>(w) != nullptr && w->isVisible();
  });
}

BatchWindow::BatchWindow(QWidget* parent, const SystemPaths& paths)
    : QWidget(parent, Qt::Window), set_(paths) {
  setObjectName(QStringLiteral("batchWindow"));
  setWindowTitle(BatchText(text::kBatchTitle));
  program_ = QApplication::applicationDirPath() + QLatin1Char('/') + kChildProgram;

  auto* top = new QGridLayout;
  firmware_ = new QLineEdit(this);
  firmware_->setObjectName(QStringLiteral("batchFirmware"));
  firmware_->setReadOnly(true);
  firmware_->setAccessibleName(BatchText(text::kBatchFirmware));
  auto* choose = new QPushButton(BatchText(text::kBatchChooseFile), this);
  choose->setObjectName(QStringLiteral("batchChoose"));
  firmware_facts_ = new QLabel(this);
  firmware_facts_->setObjectName(QStringLiteral("batchFirmwareFacts"));
  firmware_facts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  rate_ = NewList("batchRate", ProgrammingRateChoices(), this);
  mode_ = NewList("batchMode", {QLatin1String(kModes[0]), QLatin1String(kModes[1])}, this);
  model_ = NewList("batchModel", RadioModelChoices(), this);
  auto* firmware_caption = new QLabel(BatchText(text::kBatchFirmware), this);
  firmware_caption->setBuddy(firmware_);
  top->addWidget(firmware_caption, 0, 0);
  top->addWidget(firmware_, 0, 1, 1, 5);
  top->addWidget(choose, 0, 6);
  top->addWidget(firmware_facts_, 1, 1, 1, 6);
  int column = 0;
  for (auto [caption, list] : {std::pair<TextId, QComboBox*>{text::kBatchRate, rate_},
                               {text::kBatchMode, mode_},
                               {text::kBatchModel, model_}}) {
    auto* label = new QLabel(BatchText(caption), this);
    label->setBuddy(list);
    list->setAccessibleName(BatchText(caption));
    top->addWidget(label, 2, column++);
    top->addWidget(list, 2, column++);
  }

  auto* lanes_widget = new QWidget(this);
  auto* lanes_column = new QVBoxLayout(lanes_widget);
  grid_ = new QGridLayout;
  grid_->setColumnStretch(kMessageColumn, 1);
  lanes_column->addLayout(grid_);
  // Column captions above the lanes (row 0); each control also names its port.
  const std::pair<int, TextId> captions[] = {
      {1, text::kPortCaption},    {3, text::kBatchProgressName}, {4, text::kBatchTimeName},
      {5, text::kBatchPhaseName}, {6, text::kBatchMessageName},  {8, text::kBatchResultName}};
  for (const auto& [column, id] : captions) {
    QString text = BatchText(id);
    if (text.endsWith(QLatin1Char(':')) || text.endsWith(QChar(0xFF1A))) text.chop(1);  // "Port:"
    auto* caption = new QLabel(QStringLiteral("<b>%1</b>").arg(text.toHtmlEscaped()), lanes_widget);
    grid_->addWidget(caption, 0, column);
  }
  lanes_column->addStretch(1);
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("batchLanes"));
  scroll_->setWidgetResizable(true);
  scroll_->setWidget(lanes_widget);
  no_lanes_ = new QLabel(BatchText(text::kBatchNoLanes), this);

  auto* add_row = new QHBoxLayout;
  add_list_ = new QComboBox(this);
  add_list_->setObjectName(QStringLiteral("batchAddList"));
  add_list_->setAccessibleName(BatchText(text::kBatchAddPort));
  add_list_->setEditable(true);  // a device path that the map does not know
  auto* add = new QPushButton(BatchText(text::kBatchAdd), this);
  add->setObjectName(QStringLiteral("batchAdd"));
  auto* add_caption = new QLabel(BatchText(text::kBatchAddPort), this);
  add_caption->setBuddy(add_list_);
  add_row->addWidget(add_caption);
  add_row->addWidget(add_list_, 1);
  add_row->addWidget(add);

  auto* bottom = new QHBoxLayout;
  start_ = new QPushButton(BatchText(text::kBatchStart), this);
  start_->setObjectName(QStringLiteral("batchStart"));
  again_failed_ = new QPushButton(BatchText(text::kBatchAgainFailed), this);
  again_failed_->setObjectName(QStringLiteral("batchAgainFailed"));
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("batchSummary"));
  bottom->addWidget(start_);
  bottom->addWidget(again_failed_);
  bottom->addWidget(summary_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(no_lanes_);
  layout->addWidget(scroll_, 1);
  layout->addLayout(add_row);
  layout->addLayout(bottom);
  resize(kInitialWidth, kInitialHeight);

  const BatchChoices saved = ReadBatchChoices();
  SelectText(rate_, saved.rate, rate_->count() - 1);
  SelectText(mode_, saved.mode, 0);
  SelectText(model_, saved.model, 0);
  SetFirmware(QString::fromStdString(saved.firmware));

  connect(choose, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(
        this, BatchText(text::kBatchFirmware), QFileInfo(firmware_->text()).absolutePath(),
        QStringLiteral("All Files(*.BIN *.bin);;*"), nullptr, QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty()) SetFirmware(path);
  });
  for (QComboBox* list : {rate_, mode_, model_}) {
    connect(list, &QComboBox::activated, this, &BatchWindow::SaveChoices);
  }
  connect(add, &QPushButton::clicked, this, [this] {
    // What the user typed wins over the item the list still has selected.
    const QString typed = add_list_->currentText().trimmed();
    const int index = add_list_->currentIndex();
    const QString listed = index >= 0 && add_list_->itemText(index).trimmed() == typed
                               ? add_list_->itemData(index).toString()
                               : QString();
    const QString device = listed.isEmpty() ? typed : listed;
    if (!device.isEmpty()) AddPortLane(device);
  });
  connect(start_, &QPushButton::clicked, this, &BatchWindow::StartTicked);
  connect(again_failed_, &QPushButton::clicked, this, &BatchWindow::AgainFailed);

  settle_.setSingleShot(true);
  settle_.setInterval(PortList::kSettleMs);
  connect(&settle_, &QTimer::timeout, this, &BatchWindow::Rescan);
  connect(&dev_watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { settle_.start(); });
  redraw_.setInterval(kRedrawMs);
  connect(&redraw_, &QTimer::timeout, this, &BatchWindow::Redraw);

  for (Lane* cable : set_.AddSavedPorts()) AddLane(*cable);
  SetSystemPaths(set_.paths());
  FitWidthToLanes();
}

void BatchWindow::FitWidthToLanes() {
  // Every column of a lane in view without scrolling sideways. Only grows:
  // a width the user chose stays unless the lanes need more.
  const int frame = 2 * scroll_->frameWidth() + scroll_->verticalScrollBar()->sizeHint().width();
  const QMargins margins = layout()->contentsMargins();
  const int wanted =
      scroll_->widget()->sizeHint().width() + frame + margins.left() + margins.right();
  if (width() < wanted) resize(wanted, height());
}

BatchWindow::~BatchWindow() = default;

void BatchWindow::SetSystemPaths(const SystemPaths& paths) {
  if (!dev_watcher_.directories().isEmpty()) dev_watcher_.removePaths(dev_watcher_.directories());
  set_.SetSystemPaths(paths);
  dev_watcher_.addPath(QString::fromStdString(paths.dev));
  Rescan();
}

void BatchWindow::SetFirmware(const QString& path) {
  firmware_->setText(path);
  firmware_->setToolTip(path);
  ShowFirmwareFacts();
  SaveChoices();
}

void BatchWindow::ShowFirmwareFacts() {
  const std::string path = firmware_->text().toStdString();
  const std::optional<int> records = path.empty() ? std::nullopt : FirmwareRecordCount(path);
  const std::optional<std::string> digest = records ? FileSha256Hex(path) : std::nullopt;
  if (!records || !digest) {
    firmware_facts_->setText(path.empty() ? QString() : BatchText(text::kFileUnreadable));
    return;
  }
  firmware_facts_->setText(BatchText(text::kBatchFileFacts,
                                     {QString::number(QFileInfo(firmware_->text()).size()),
                                      QString::number(*records), QString::fromStdString(*digest)}));
}

bool BatchWindow::FirmwareUsable() const {
  return !firmware_->text().isEmpty() &&
         FirmwareRecordCount(firmware_->text().toStdString()).has_value();
}

void BatchWindow::SaveChoices() {
  SaveBatchChoices({firmware_->text().toStdString(), rate_->currentText().toStdString(),
                    mode_->currentText().toStdString(), model_->currentText().toStdString()});
}

BatchJobChoice BatchWindow::Choice() const {
  BatchJobChoice c;
  c.program = program_;
  c.workdir = QString::fromStdString(AppState().WorkingDirectory);
  c.firmware = QFileInfo(firmware_->text()).absoluteFilePath();
  c.baud = rate_->currentText().toInt();
  c.verify = mode_->currentIndex() == kVerifyModeIndex;
  return c;
}

BatchLane* BatchWindow::LaneByKey(const QString& key) const {
  const Lane* cable = set_.Find(key.toStdString());
  return cable ? LaneOf(*cable) : nullptr;
}

BatchLane* BatchWindow::LaneOf(const Lane& cable) const {
  for (const auto& lane : lanes_) {
    if (&lane->cable() == &cable) return lane.get();
  }
  return nullptr;
}

BatchLaneRow* BatchWindow::RowOf(const BatchLane& lane) const {
  for (const auto& row : rows_) {
    if (&row->lane == &lane) return row.get();
  }
  return nullptr;
}

BatchLane& BatchWindow::AddLane(Lane& cable) {
  BatchLane& added = *lanes_.emplace_back(std::make_unique<BatchLane>(cable));
  connect(&added, &BatchLane::Finished, this, &BatchWindow::LaneFinished);
  auto row = std::make_unique<BatchLaneRow>(added, *grid_, static_cast<int>(rows_.size()) + 1);
  connect(row->take_part, &QCheckBox::toggled, this,
          [this, &cable](bool on) { set_.SetTakePart(cable, on); });
  connect(row->auto_start, &QCheckBox::toggled, this,
          [this, &cable](bool on) { set_.SetAutoStart(cable, on); });
  connect(row->again, &QPushButton::clicked, this, [this, &added] { Again(added); });
  connect(row->stop, &QPushButton::clicked, this, [this, &added] { Stop(added); });
  rows_.push_back(std::move(row));
  no_lanes_->setVisible(false);
  FitWidthToLanes();
  return added;
}

BatchLane* BatchWindow::AddPortLane(const QString& device) {
  const LaneSet::AddedPort port = set_.AddPort(device.toStdString());
  if (!port.added) return LaneOf(*port.lane);
  BatchLane& lane = AddLane(*port.lane);
  Redraw();
  return &lane;
}

void BatchWindow::Rescan() {
  const LaneSet::Scan scan = set_.Rescan(ListSerialDevices(set_.paths()));
  for (Lane* cable : scan.added) AddLane(*cable);
  // A cable may be shown under another name now, or gone.
  for (const auto& lane : lanes_) lane->dirty = true;
  no_lanes_->setVisible(lanes_.empty());
  FillAddList();
  for (Lane* cable : scan.plugged_in) {
    if (LaneSet::StartsWhenPluggedIn(*cable) && FirmwareUsable()) Again(*LaneOf(*cable));
  }
  Redraw();
}

void BatchWindow::FillAddList() {
  const QString typed = add_list_->currentText();
  add_list_->clear();
  for (const SerialDevice& d : set_.PortsToAdd()) {
    const QString device = QString::fromStdString(d.device);
    add_list_->addItem(QString::fromStdString(d.name) + QStringLiteral("  ") + device, device);
  }
  if (add_list_->count() == 0) add_list_->setEditText(typed);
}

bool BatchWindow::AnyRunning() const {
  return set_.AnyRunning();
}

void BatchWindow::StartTicked() {
  if (!FirmwareUsable()) {
    Tell(BatchText(text::kBatchNoFirmware));
    return;
  }
  summary_->clear();
  results_shown_ = false;
  const BatchJobChoice choice = Choice();
  for (const auto& lane : lanes_) lane->Clear();
  for (Lane* cable : set_.ToStart()) LaneOf(*cable)->Start(choice);
  redraw_.start();
  Redraw();
}

void BatchWindow::Again(BatchLane& lane) {
  if (lane.running()) return;
  if (!FirmwareUsable()) {
    Tell(BatchText(text::kBatchNoFirmware));
    return;
  }
  summary_->clear();
  lane.Start(Choice());
  redraw_.start();
  Redraw();
}

void BatchWindow::AgainFailed() {
  for (Lane* cable : set_.ToRetry()) Again(*LaneOf(*cable));
}

void BatchWindow::Stop(BatchLane& lane) {
  if (!lane.running()) return;
  if (lane.writing() && !Confirm(BatchText(text::kBatchConfirmStop, {lane.PortName()}))) return;
  lane.RequestStop();
}

void BatchWindow::LaneFinished() {
  // A cable pulled during its job keeps its lane shown as present until the
  // child ends: look again now.
  settle_.start();
  Redraw();
  if (AnyRunning()) return;
  redraw_.stop();
  const LaneTally tally = set_.Tally();
  summary_->setText(BatchText(text::kBatchSummary,
                              {QString::number(tally.completed), QString::number(tally.stopped),
                               QString::number(tally.failed)}));
  if (close_pending_) close();
}

void BatchWindow::Redraw() {
  bool changed = false;
  for (const auto& row : rows_) {
    if (!row->lane.dirty && !row->lane.running()) continue;
    changed = changed || row->lane.dirty;
    row->Refresh();
    row->lane.dirty = false;
  }
  // A longer phase, result or port name may need more room.
  if (changed) FitWidthToLanes();
}

void BatchWindow::closeEvent(QCloseEvent* event) {
  if (!AnyRunning()) {
    SaveChoices();
    event->accept();
    return;
  }
  QStringList writing;
  for (const auto& lane : lanes_) {
    if (lane->writing()) writing << lane->PortName();
  }
  if (!writing.isEmpty() &&
      !Confirm(BatchText(text::kBatchConfirmClose, {writing.join(QStringLiteral(", "))}))) {
    event->ignore();
    return;
  }
  // Closes once every child has ended, so none is left behind unwatched.
  close_pending_ = true;
  for (const auto& lane : lanes_) lane->RequestStop();
  event->ignore();
}

bool BatchWindow::Confirm(const QString& question) {
  return QMessageBox::question(this, BatchText(text::kBatchTitle), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void BatchWindow::Tell(const QString& text) {
  QMessageBox::information(this, BatchText(text::kBatchTitle), text);
}

}  // namespace vexo::ui
