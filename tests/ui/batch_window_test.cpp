// The batch window against real vexo-flash children and simulated radios:
// each lane ends with its own result whatever happens to the others, a stop
// during the write needs the user's word, a child that dies or talks nonsense
// fails only its lane, a finished lane reads out its result, and a cable
// keeps its lane under another name.
#include <signal.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include "history/history_store.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"
#include "tests/ui/ui_test_support.h"
#include "ui/batch_window.h"

using namespace vexo::testing;
using vexo::ui::BatchLane;
namespace fs = std::filesystem;

namespace {

constexpr int kJobLimitMs = 90'000;
constexpr int kRecords = 24;

// Answers the window's questions as the test says; keeps what it was told.
class AnsweredBatchWindow : public vexo::ui::BatchWindow {
 public:
  explicit AnsweredBatchWindow(const vexo::SystemPaths& paths) : BatchWindow(nullptr, paths) {
    SetChildProgram(Q(ProgramPath("vexo-flash")));
  }
  bool answer = false;
  QStringList asked;
  QStringList told;

 protected:
  bool Confirm(const QString& question) override {
    asked << question;
    return answer;
  }
  void Tell(const QString& text) override { told << text; }
};

QString ResultText(vexo::ui::BatchWindow& w, BatchLane& lane) {
  return w.RowOf(lane)->result->text();
}

bool Running(const vexo::ui::BatchWindow& w) {
  for (const auto& lane : w.lanes()) {
    if (lane->running()) return true;
  }
  return false;
}

}  // namespace

class BatchWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    root_ = fs::temp_directory_path() / ("vexo-batch-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "dev");
    fs::create_directories(root_ / "sys/class/tty");
    paths_ = {(root_ / "dev").string(), (root_ / "sys").string()};
    workdir_ = std::make_unique<UiWorkdir>();
    WriteFile(workdir_->File("fw.BIN"), MakeImage(kRecords, 0x800));
    qputenv("VEXO_HISTORY", workdir_->File("history.sqlite3").c_str());
    // Texts with their places, so that what fills them is checked too.
    std::string language = ReadWholeFile(workdir_->File("language.sys"));
    for (const auto& [id, text] :
         {std::pair{vexo::text::kBatchSummary, "%1 ok %2 stopped %3 failed"},
          {vexo::text::kBatchEndedDuring, "%1 in %2"},
          // a caption as long as a language may make it
          {vexo::text::kBatchAutoStart, "Start when plugged in (each time this cable comes back)"},
          {vexo::text::kBatchChildDied, "died: %1"},
          {vexo::text::kBatchBadEvent, "bad: %1"},
          {vexo::text::kBatchSignal, "signal %1"}}) {
      const std::string line = std::to_string(vexo::kLanguageChinese + id) + "=";
      language.replace(language.find(line + T(id)), line.size() + T(id).size(), line + text);
    }
    workdir_->Write("language.sys", language);
  }
  void cleanup() {
    workdir_.reset();
    fs::remove_all(root_);
  }

  void eachLaneShowsItsOwnResultAndAgainCompletes() {
    SimProcess good({"--erase-ms", "20"});
    SimProcess silent({"--erase-ms", "20", "--no-echo", "2:3"});  // three attempts, then good
    SimProcess killed({"--erase-ms", "20", "--write-ms", "150"});
    for (SimProcess* sim : {&good, &silent, &killed}) QVERIFY2(sim->ok(), sim->error().c_str());
    AnsweredBatchWindow w(paths_);
    w.SetFirmware(Q(workdir_->File("fw.BIN")));
    BatchLane* good_lane = w.AddPortLane(Q(good.pty_path()));
    BatchLane* silent_lane = w.AddPortLane(Q(silent.pty_path()));
    BatchLane* killed_lane = w.AddPortLane(Q(killed.pty_path()));
    w.show();
    w.StartTicked();
    QTRY_VERIFY_WITH_TIMEOUT(
        killed_lane->phase() == QLatin1String("programming") && killed_lane->done() > 0,
        kJobLimitMs);
    kill(killed.pid(), SIGKILL);

    // The window keeps serving its event loop while the children run.
    bool served = false;
    QTimer::singleShot(0, &w, [&served] { served = true; });
    QTRY_VERIFY_WITH_TIMEOUT(served, 5000);

    QTRY_VERIFY_WITH_TIMEOUT(!Running(w), kJobLimitMs);
    QCOMPARE(good_lane->state(), BatchLane::State::completed);
    QVERIFY(ResultText(w, *good_lane).contains(Q(T(vexo::text::kBatchCompleted))));
    // The radio or the line ended these two: "failed", or "stopped" from
    // children that predate "failed".
    int failed = 0;
    for (BatchLane* lane : {silent_lane, killed_lane}) {
      const bool lane_failed = lane->state() == BatchLane::State::failed;
      QVERIFY(lane_failed || lane->state() == BatchLane::State::stopped);
      QVERIFY(ResultText(w, *lane).contains(
          Q(T(lane_failed ? vexo::text::kBatchFailed : vexo::text::kBatchStopped))));
      QVERIFY(!w.RowOf(*lane)->message->text().isEmpty());
      failed += lane_failed;
    }
    QCOMPARE(silent_lane->last_text_id(), vexo::text::kNoReplyInTime);
    QCOMPARE(w.RowOf(*silent_lane)->message->text(), Q(T(vexo::text::kNoReplyInTime)));
    QCOMPARE(w.SummaryText(),
             QStringLiteral("1 ok %1 stopped %2 failed").arg(2 - failed).arg(failed));

    w.Again(*silent_lane);
    QTRY_VERIFY_WITH_TIMEOUT(!Running(w), kJobLimitMs);
    QCOMPARE(silent_lane->state(), BatchLane::State::completed);
    QCOMPARE(good_lane->state(), BatchLane::State::completed);  // results stay until Start
    const bool killed_failed = killed_lane->state() == BatchLane::State::failed;
    QCOMPARE(w.SummaryText(), QStringLiteral("2 ok %1 stopped %2 failed")
                                  .arg(killed_failed ? 0 : 1)
                                  .arg(killed_failed ? 1 : 0));

    // Every job landed in the history, recorded by its child.
    vexo::HistoryStore history;
    QVERIFY(history.OpenForReading(workdir_->File("history.sqlite3")).ok());
    const auto jobs = history.All();
    QVERIFY(jobs.ok());
    QCOMPARE(jobs.value.size(), std::size_t{4});
  }

  void stopOrCloseDuringTheWriteNeedsConsent() {
    SimProcess slow({"--erase-ms", "20", "--write-ms", "150"});
    QVERIFY2(slow.ok(), slow.error().c_str());
    AnsweredBatchWindow w(paths_);
    w.SetFirmware(Q(workdir_->File("fw.BIN")));
    BatchLane* lane = w.AddPortLane(Q(slow.pty_path()));
    w.show();
    w.StartTicked();
    QTRY_VERIFY_WITH_TIMEOUT(lane->done() > 0, kJobLimitMs);
    QVERIFY(lane->writing());

    w.answer = false;
    w.Stop(*lane);
    QVERIFY(!w.close());
    QCOMPARE(w.asked.size(), 2);
    QTest::qWait(300);
    QVERIFY(lane->running());

    // Consent: the child is stopped as vexo-flash stops on a second signal.
    w.answer = true;
    w.Stop(*lane);
    QTRY_VERIFY_WITH_TIMEOUT(!lane->running(), kJobLimitMs);
    QCOMPARE(lane->state(), BatchLane::State::stopped);
    QVERIFY(lane->reason().isEmpty());  // ended with its own end event
    QVERIFY(w.close());
  }

  void childThatDiesOrTalksNonsenseFailsItsLaneOnly() {
    const std::string nonsense =
        WriteScript("nonsense",
                    "echo '{\"v\":1,\"t\":0,\"event\":\"start\",\"device\":\"x\"}'\n"
                    "echo 'half a line'\nsleep 0.2\n"
                    "echo '{\"v\":1,\"t\":9,\"event\":\"end\",\"result\":\"completed\"}'\n");
    const std::string dying = WriteScript("dying", "kill -9 $$\n");
    const std::string device = workdir_->File("fw.BIN");  // any file that exists will do
    for (const auto& [script, reason] :
         {std::pair{nonsense, QStringLiteral("bad: not a JSON object: half a line")},
          std::pair{dying, QStringLiteral("died: signal 9")}}) {
      AnsweredBatchWindow w(paths_);
      w.SetChildProgram(Q(script));
      w.SetFirmware(Q(workdir_->File("fw.BIN")));
      BatchLane* lane = w.AddPortLane(Q(device));
      w.StartTicked();
      QTRY_VERIFY_WITH_TIMEOUT(!lane->running(), kJobLimitMs);
      QCOMPARE(lane->state(), BatchLane::State::failed);
      QCOMPARE(lane->reason(), reason);
      QCOMPARE(w.RowOf(*lane)->message->text(), lane->reason());
    }
  }

  void stopBeforeTheEraseIsAtOnceAndCloseWaitsForTheChild() {
    // The first event arrives in two writes; a stop request is answered as
    // vexo-flash answers one before the erase.
    const std::string script = WriteScript(
        "handshaking",
        "printf '{\"v\":1,\"t\":0,'; sleep 0.2; printf '\"event\":\"start\",\"device\":\"x\"}\\n'\n"
        "echo '{\"v\":1,\"t\":1,\"event\":\"phase\",\"name\":\"handshake\"}'\n"
        "trap 'echo "
        "\"{\\\"v\\\":1,\\\"t\\\":2,\\\"event\\\":\\\"end\\\",\\\"result\\\":\\\"stopped\\\"}\"; "
        "exit 143' TERM\n"
        "while :; do sleep 0.05; done\n");
    AnsweredBatchWindow w(paths_);
    w.SetChildProgram(Q(script));
    w.SetFirmware(Q(workdir_->File("fw.BIN")));
    BatchLane* lane = w.AddPortLane(Q(workdir_->File("fw.BIN")));
    w.show();
    w.StartTicked();
    QTRY_COMPARE_WITH_TIMEOUT(lane->phase(), QStringLiteral("handshake"), kJobLimitMs);
    QVERIFY(!w.close());  // not yet: it waits for the child
    QVERIFY(w.asked.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kJobLimitMs);
    QCOMPARE(lane->state(), BatchLane::State::stopped);
    QVERIFY(lane->reason().isEmpty());
  }

  void aStopAsTheEraseBeginsIsFollowedWhenTheChildWarns() {
    // The lane still sees the handshake when Stop is pressed; the child has
    // begun its erase and warns well after the lane's own wait would have run.
    const std::string script = WriteScript(
        "erasing", Echo(R"({"v":1,"t":0,"event":"phase","name":"handshake"})") +
                       "stop() {\n n=$((n+1))\n if [ $n = 1 ]; then\n" +
                       Echo(R"({"v":1,"t":1,"event":"phase","name":"erase"})") + "sleep 1.2\n" +
                       Echo(R"({"v":1,"t":2,"event":"message","id":)" +
                            std::to_string(vexo::text::kStopWarning) + R"(,"text":"x"})") +
                       " else\n" + Echo(R"({"v":1,"t":3,"event":"end","result":"stopped"})") +
                       " exit 143\n fi\n}\nn=0\ntrap stop TERM\nwhile :; do sleep 0.05; done\n");
    AnsweredBatchWindow w(paths_);
    w.SetChildProgram(Q(script));
    w.SetFirmware(Q(workdir_->File("fw.BIN")));
    BatchLane* lane = w.AddPortLane(Q(workdir_->File("fw.BIN")));
    w.StartTicked();
    QTRY_COMPARE_WITH_TIMEOUT(lane->phase(), QStringLiteral("handshake"), kJobLimitMs);
    w.Stop(*lane);
    QTRY_VERIFY_WITH_TIMEOUT(!lane->running(), 10'000);
    QCOMPARE(lane->state(), BatchLane::State::stopped);
  }

  void aFinishedLaneShowsAndReadsOutItsResult() {
    // A lane per device: one child completes, the other's radio fails it.
    const std::string script = WriteScript(
        "ending", "case \"$*\" in *failing*)\n" +
                      Echo(R"({"v":1,"t":0,"event":"phase","name":"programming"})") +
                      Echo(R"({"v":1,"t":1,"event":"message","id":)" +
                           std::to_string(vexo::text::kNoReplyInTime) + R"(,"text":"x"})") +
                      Echo(R"({"v":1,"t":2,"event":"end","result":"failed","exit_status":1})") +
                      ";;\n*)\n" + Echo(R"({"v":1,"t":0,"event":"phase","name":"closing"})") +
                      Echo(R"({"v":1,"t":1,"event":"message","id":)" +
                           std::to_string(vexo::text::kDownloadComplete) + R"(,"text":"x"})") +
                      Echo(R"({"v":1,"t":2,"event":"end","result":"completed","exit_status":0})") +
                      ";;\nesac\n");
    workdir_->Write("failing", "");
    AnsweredBatchWindow w(paths_);
    w.SetChildProgram(Q(script));
    w.SetFirmware(Q(workdir_->File("fw.BIN")));
    BatchLane* good = w.AddPortLane(Q(workdir_->File("fw.BIN")));
    BatchLane* failing = w.AddPortLane(Q(workdir_->File("failing")));
    w.show();
    w.StartTicked();
    QTRY_VERIFY_WITH_TIMEOUT(!Running(w), kJobLimitMs);
    QCOMPARE(failing->state(), BatchLane::State::failed);
    QCOMPARE(w.SummaryText(), QStringLiteral("1 ok 0 stopped 1 failed"));
    const QString in_programming = Q(T(vexo::text::kBatchFailed)) + QStringLiteral(" in ") +
                                   Q(T(vexo::text::kBatchProgramming));
    for (const auto& [lane, word, phase, message] :
         {std::tuple{good, vexo::text::kBatchCompleted, Q(T(vexo::text::kBatchCompleted)),
                     vexo::text::kDownloadComplete},
          std::tuple{failing, vexo::text::kBatchFailed, in_programming,
                     vexo::text::kNoReplyInTime}}) {
      vexo::ui::BatchLaneRow& row = *w.RowOf(*lane);
      QCOMPARE(row.phase->text(), phase);  // not the phase it was last in
      // A screen reader hears what each column shows, with the port.
      QVERIFY(row.result->accessibleName().endsWith(lane->PortName() + QStringLiteral(": ") +
                                                    Q(T(word))));
      QVERIFY(row.phase->accessibleName().endsWith(QStringLiteral(": ") + phase));
      QVERIFY(row.message->accessibleName().endsWith(QStringLiteral(": ") + Q(T(message))));
    }
    // Every column in view: nothing to scroll sideways to.
    QTRY_COMPARE(w.findChild<QScrollArea*>()->horizontalScrollBar()->maximum(), 0);
  }

  void addTakesWhatWasTypedOverTheListedPort() {
    const std::string listed = workdir_->File("fw.BIN");  // files stand in for devices
    const std::string typed = workdir_->File("language.sys");
    vexo::WriteSetting(vexo::setting::kPorts, "com1", listed);
    AnsweredBatchWindow w(paths_);
    auto* list = w.findChild<QComboBox*>(QStringLiteral("batchAddList"));
    QCOMPARE(list->currentData().toString(), Q(listed));
    list->setEditText(Q(typed));
    w.findChild<QPushButton*>(QStringLiteral("batchAdd"))->click();
    QVERIFY(w.LaneByKey(QStringLiteral("dev:") + Q(typed)));
    QVERIFY(!w.LaneByKey(QStringLiteral("dev:") + Q(listed)));
  }

  void startWhenPluggedInOnlyWhenAsked() {
    const std::string script = WriteScript(
        "quick", "echo '{\"v\":1,\"t\":0,\"event\":\"end\",\"result\":\"completed\"}'\n");
    AddUsbTty("ttyUSB0", "1-1.2", "B7");
    AnsweredBatchWindow w(paths_);
    w.SetChildProgram(Q(script));
    w.SetFirmware(Q(workdir_->File("fw.BIN")));
    BatchLane* lane = w.lanes().front().get();
    QVERIFY(!lane->cable().auto_start);  // off unless chosen
    auto replug = [&] {
      RemoveTty("ttyUSB0");
      w.Rescan();
      AddUsbTty("ttyUSB0", "1-1.2", "B7");
      w.Rescan();
    };
    replug();
    QTest::qWait(200);
    QCOMPARE(lane->state(), BatchLane::State::idle);
    w.RowOf(*lane)->auto_start->setChecked(true);
    replug();
    QTRY_COMPARE_WITH_TIMEOUT(lane->state(), BatchLane::State::completed, kJobLimitMs);
  }

  void cableKeepsItsLaneUnderAnotherName() {
    AddUsbTty("ttyUSB1", "1-1.4", "A10K1234");
    {
      AnsweredBatchWindow w(paths_);
      QCOMPARE(w.lanes().size(), std::size_t{1});
      BatchLane* lane = w.lanes().front().get();
      QCOMPARE(lane->key(), QStringLiteral("usb:A10K1234"));
      w.RowOf(*lane)->take_part->setChecked(false);
      w.RowOf(*lane)->auto_start->setChecked(true);

      RemoveTty("ttyUSB1");
      w.Rescan();
      QVERIFY(!lane->present());
      AddUsbTty("ttyUSB0", "1-1.4", "A10K1234");
      w.Rescan();
      QCOMPARE(w.lanes().size(), std::size_t{1});
      QVERIFY(lane->present());
      QCOMPARE(lane->PortName(), QStringLiteral("ttyUSB0"));
      QVERIFY(!lane->cable().take_part);
      QVERIFY(lane->cable().auto_start);
      QVERIFY(w.RowOf(*lane)->take_part->accessibleName().endsWith(QStringLiteral("ttyUSB0")));
    }
    AnsweredBatchWindow reopened(paths_);  // the settings outlive the window
    QCOMPARE(reopened.lanes().size(), std::size_t{1});
    QVERIFY(!reopened.lanes().front()->cable().take_part);
    QVERIFY(reopened.lanes().front()->cable().auto_start);
  }

 private:
  static std::string Echo(const std::string& line) { return "echo '" + line + "'\n"; }

  std::string WriteScript(const std::string& name, const std::string& body) {
    const std::string path = workdir_->File(name);
    workdir_->Write(name, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
    return path;
  }

  void AddUsbTty(const std::string& name, const std::string& usb_device,
                 const std::string& serial) {
    const fs::path usb = root_ / "sys/devices/pci0000:00/usb1" / usb_device;
    fs::remove_all(usb);
    fs::create_directories(usb / (usb_device + ":1.0") / name);
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "idProduct") << "6001\n";
    std::ofstream(usb / "product") << "FT232R USB UART\n";
    std::ofstream(usb / "serial") << serial << "\n";
    std::ofstream(root_ / "dev" / name) << "";
    fs::create_directories(root_ / "sys/class/tty" / name);
    fs::create_directory_symlink(usb / (usb_device + ":1.0") / name,
                                 root_ / "sys/class/tty" / name / "device");
  }

  void RemoveTty(const std::string& name) {
    fs::remove(root_ / "dev" / name);
    fs::remove_all(root_ / "sys/class/tty" / name);
  }

  fs::path root_;
  vexo::SystemPaths paths_;
  std::unique_ptr<UiWorkdir> workdir_;
};

QTEST_MAIN(BatchWindowTest)
#include "batch_window_test.moc"
