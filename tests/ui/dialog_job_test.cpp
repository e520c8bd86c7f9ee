// Whole jobs through the window: the real worker thread, the real serial
// control and vexo-radio-sim on a pseudo-terminal, message boxes answered
// by the test.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <functional>

#include "history/history_store.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"
#include "tests/ui/ui_test_support.h"
#include "ui/ui_thread.h"
#include "ui/updater_dialog.h"

using namespace vexo::testing;

namespace {

constexpr int kRecords = 6;
constexpr std::uint32_t kBase = 0x800;
constexpr int kJobLimitMs = 60'000;

// A hook on the start of each phase, run on the worker thread while the job
// waits in that note.
class PhaseProbe : public vexo::JobObserver {
 public:
  void PhaseStarted(vexo::JobPhase phase) override {
    if (on_phase) on_phase(phase);
  }
  std::function<void(vexo::JobPhase)> on_phase;
};

std::string SystemIni(const SimProcess& sim, const std::string& firmware) {
  return "[computer]\ncom=COM1\nbps=115200\n[file]\nfile_path=" + firmware +
         "\n[ports]\ncom1=" + sim.pty_path() + "\n";
}

// The flash holds image's records at their addresses.
bool FlashHolds(const SimResult& result, const std::vector<std::uint8_t>& image) {
  if (!result.report) return false;
  const auto& flash = result.report->flash;
  for (int i = 0; i < kRecords; ++i) {
    const auto record = image.begin() + 36 + 133 * i;
    const std::size_t address = kBase + 128 * static_cast<std::size_t>(i);
    if (flash.size() < address + 128 ||
        !std::equal(record + 4, record + 132, flash.begin() + address)) {
      return false;
    }
  }
  return true;
}

QWidget* VisibleMessageBox() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (qobject_cast<QMessageBox*>(window) && window->isVisible()) return window;
  }
  return nullptr;
}

}  // namespace

class DialogJobTest : public QObject {
  Q_OBJECT

 private slots:
  void eraseProgramVerifyThroughTheWindow() {
    SimProcess sim({"--erase-ms", "20"});
    QVERIFY2(sim.ok(), sim.error().c_str());
    const std::vector<std::uint8_t> image = MakeImage(kRecords, kBase, /*trailing=*/7);
    UiWorkdir dir({}, /*diagnostic=*/true);
    WriteFile(dir.File("fw.BIN"), image);
    dir.Write("system.ini", SystemIni(sim, dir.File("fw.BIN")));
    vexo::RunStartup(dir.path());
    setenv(vexo::kHistoryEnvironment, dir.File("history.sqlite3").c_str(), 1);

    CUpdaterDialog dialog;
    dialog.show();
    QSignalSpy finished(&dialog, &CUpdaterDialog::jobFinished);
    MessageAnswerer answerer;
    answerer.hold = true;  // keeps the job at its last message
    Control<QPushButton>(dialog, "eprButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(VisibleMessageBox() != nullptr, kJobLimitMs);

    // The job holds the window: no way of closing it works, and no second
    // job starts.
    const std::string settings_before = dir.Settings();
    auto* exit = Control<QPushButton>(dialog, "exitButton");
    QVERIFY(!exit->isEnabled());
    QVERIFY(!Control<QPushButton>(dialog, "eprButton")->isEnabled());
    QVERIFY(!dialog.close());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Return);
    dialog.StartDownload(vexo::kModeEraseProgram);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dir.Settings(), settings_before);
    // ... while the window itself stays usable.
    Control<QPushButton>(dialog, "languageButton")->click();
    QCOMPARE(Control<QPushButton>(dialog, "exitButton")->text(), QStringLiteral("E6003"));
    Control<QPushButton>(dialog, "languageButton")->click();

    answerer.hold = false;
    QVERIFY(finished.wait(kJobLimitMs));
    QCOMPARE(finished.takeFirst().at(0).toInt(), 0);
    QCOMPARE(answerer.answered, QStringList{Q(T(3025))});
    QVERIFY(exit->isEnabled());
    QVERIFY(!Control<QLabel>(dialog, "statusLabel")->isVisible());
    QVERIFY(!dialog.Host().BusyIndicatorRunning());
    QVERIFY(!dialog.Host().SerialPort().PortOpen());
    auto* bar = Control<QProgressBar>(dialog, "progressBar");
    QCOMPARE(bar->value(), bar->maximum());
    const QString log = Control<QPlainTextEdit>(dialog, "logView")->toPlainText();
    QVERIFY(log.contains(QStringLiteral("S:50 00 00 08 00 80 ")));
    QVERIFY(log.contains(QStringLiteral("R:")));
    // The file's trailer, never sent, is said.
    QVERIFY(log.contains(Q("# " + vexo::testing::T(vexo::text::kTrailingBytes) + " 7")));

    // The job is in the history, as the window ran it.
    vexo::HistoryStore history;
    QVERIFY(history.OpenForReading(dir.File("history.sqlite3")).ok());
    const auto jobs = history.All();
    QVERIFY(jobs.ok() && jobs.value.size() == 1);
    const vexo::JobRecord& job = jobs.value[0];
    QCOMPARE(job.program, vexo::JobProgram::kWindow);
    QCOMPARE(job.result, vexo::JobResult::kCompleted);
    QCOMPARE(job.identity_hex.size(), std::size_t{16});
    QCOMPARE(job.pages_compared, kRecords);
    QCOMPARE(job.message_ids.back(), vexo::text::kDownloadComplete);
    QCOMPARE(job.phases.size(), std::size_t{5});
    unsetenv(vexo::kHistoryEnvironment);

    QVERIFY(dialog.close());
    const std::string saved = dir.Settings();
    QVERIFY(saved.find("com=COM1") != std::string::npos);
    QVERIFY(saved.find("bps=115200") != std::string::npos);
    QVERIFY(saved.find("file_path=" + dir.File("fw.BIN")) != std::string::npos);

    const SimResult result = sim.Stop();
    QVERIFY2(result.report.has_value(), result.error_output.c_str());
    QVERIFY(FlashHolds(result, image));
    QCOMPARE(result.report->Select(vexo::sim::kEventMessage, "program").size(),
             std::size_t{kRecords});
    QVERIFY(!result.report->Select(vexo::sim::kEventMessage, "read_request").empty());
    QCOMPARE(result.report->sessions, 1);
  }

  void testDuringAJobLeavesTheJobsImage() {
    SimProcess sim({"--erase-ms", "20"});
    QVERIFY2(sim.ok(), sim.error().c_str());
    const std::vector<std::uint8_t> image = MakeImage(kRecords, kBase);
    const std::vector<std::uint8_t> other = MakeImage(kRecords, kBase, 0, /*blank_data=*/true);
    UiWorkdir dir({}, true);
    WriteFile(dir.File("fw.BIN"), image);
    WriteFile(dir.File("other.BIN"), other);
    dir.Write("system.ini", SystemIni(sim, dir.File("fw.BIN")));
    vexo::RunStartup(dir.path());

    CUpdaterDialog dialog;
    PhaseProbe probe;
    dialog.Host().AddObserver(probe);
    bool listed = false;
    probe.on_phase = [&](vexo::JobPhase phase) {
      if (listed || phase != vexo::JobPhase::programming) return;
      listed = true;
      vexo::ui::RunOnThreadOf(&dialog, [&] {
        Control<QLineEdit>(dialog, "pathEdit")->setText(Q(dir.File("other.BIN")));
        dialog.ListProgramMessages();
      });
    };
    QSignalSpy finished(&dialog, &CUpdaterDialog::jobFinished);
    MessageAnswerer answerer;
    dialog.StartDownload(vexo::kModeEraseProgramVerify);
    QVERIFY(finished.wait(kJobLimitMs));

    QVERIFY(listed);
    QCOMPARE(finished.takeFirst().at(0).toInt(), 0);  // read-back matched its own image
    QCOMPARE(answerer.answered, QStringList{Q(T(3025))});
    const SimResult result = sim.Stop();
    QVERIFY(FlashHolds(result, image));
  }

  // The radio goes away mid-job: once the box is dismissed the bar keeps how
  // far the job got without a time left, and the status line says it
  // stopped. The next job starts from an empty bar.
  void stoppedJobSaysSoAndTheNextStartsClean() {
    SimProcess sim({"--erase-ms", "20", "--hang-up-after", "3"});
    QVERIFY2(sim.ok(), sim.error().c_str());
    UiWorkdir dir;
    WriteFile(dir.File("fw.BIN"), MakeImage(kRecords, kBase));
    dir.Write("system.ini", SystemIni(sim, dir.File("fw.BIN")));
    vexo::RunStartup(dir.path());
    CUpdaterDialog dialog;
    dialog.show();
    auto* bar = Control<QProgressBar>(dialog, "progressBar");
    auto* status = Control<QLabel>(dialog, "statusLabel");
    QSignalSpy finished(&dialog, &CUpdaterDialog::jobFinished);
    MessageAnswerer answerer;
    answerer.hold = true;
    dialog.StartDownload(vexo::kModeEraseProgram);
    QTRY_VERIFY_WITH_TIMEOUT(VisibleMessageBox() != nullptr, kJobLimitMs);
    const QRect box = VisibleMessageBox()->frameGeometry();
    QVERIFY((box.center() - dialog.frameGeometry().center()).manhattanLength() <= 2);
    answerer.hold = false;
    QVERIFY(finished.wait(kJobLimitMs));
    QCOMPARE(finished.takeFirst().at(0).toInt(), 1);
    QCOMPARE(bar->value(), 3);  // the records the radio echoed
    QCOMPARE(bar->maximum(), kRecords);
    QVERIFY(bar->format().contains(QStringLiteral("已用")));
    QVERIFY(!bar->format().contains(QStringLiteral("剩余")));
    QVERIFY(status->isVisible());
    QCOMPARE(status->text(), Q(T(7020)));
    Control<QPushButton>(dialog, "languageButton")->click();
    QCOMPARE(status->text(), QStringLiteral("E7020"));
    QVERIFY(bar->format().contains(QStringLiteral("elapsed")));

    Control<QLineEdit>(dialog, "pathEdit")->clear();  // the next job stops at its file check
    answerer.hold = true;
    dialog.StartDownload(vexo::kModeEraseProgram);
    QTRY_VERIFY(VisibleMessageBox() != nullptr);
    QCOMPARE(bar->text(), QString());
    answerer.hold = false;
    QVERIFY(finished.wait(kJobLimitMs));
    QVERIFY(dialog.close());
  }

  void pressWhileTheJobStartsIsRefused() {
    UiWorkdir dir;
    CUpdaterDialog dialog;
    dialog.show();
    QSignalSpy finished(&dialog, &CUpdaterDialog::jobFinished);
    MessageAnswerer answerer;
    answerer.hold = true;
    // An empty path: the job ends at its file check without touching the
    // buttons, the window is held all the same.
    Control<QPushButton>(dialog, "epButton")->click();
    QTRY_VERIFY(VisibleMessageBox() != nullptr);
    QVERIFY(Control<QPushButton>(dialog, "epButton")->isEnabled());
    QVERIFY(dialog.JobActive());
    Control<QPushButton>(dialog, "eprButton")->click();
    Control<QPushButton>(dialog, "exitButton")->click();
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());

    answerer.hold = false;
    QVERIFY(finished.wait(kJobLimitMs));
    QCOMPARE(finished.takeFirst().at(0).toInt(), 1);
    QCOMPARE(answerer.answered, QStringList{Q(T(6007))});
    QVERIFY(!dialog.JobActive());
    QVERIFY(dialog.close());
  }
};

QTEST_MAIN(DialogJobTest)
#include "dialog_job_test.moc"
