// The set-up check dialog on a fake system tree whose FTDI cable (a
// pseudo-terminal) has a 16 ms latency timer: its frame texts come from the
// language file, each row says its verdict in words, and "Probe" adds the
// radio's line after the port's own.
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "tests/link/pty_pair.h"
#include "tests/support/temp_workdir.h"
#include "ui/setup_check_dialog.h"

namespace fs = std::filesystem;

class SetupCheckDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheChecksAndProbesOnRequest() {
    vexo::testing::TempWorkdir workdir;  // texts "T<id>"
    vexo::testing::PtyPair pty;
    QVERIFY(pty.ok());
    const fs::path root = workdir.path();
    MakeFtdiCable(root, pty.SlavePath());

    std::atomic<int> probes{0};
    vexo::ui::SetupCheckDialog dialog([&](vexo::ui::SetupCheckDialog::Probe probe) {
      vexo::SetupCheckContext context;
      vexo::PlaceUnderRoot(context, root.string());
      context.rates = {9600, 115200};
      if (probe == vexo::ui::SetupCheckDialog::Probe::yes) {
        context.probe = [&](const std::string& label, vexo::SerialControl&) {
          ++probes;
          return vexo::CheckLine{vexo::CheckVerdict::ok, label + ": the radio answers", {}};
        };
      }
      return context;
    });
    QCOMPARE(dialog.windowTitle(), QStringLiteral("T7200"));
    QCOMPARE(dialog.List()->headerItem()->text(0), QStringLiteral("T7204"));

    QSignalSpy finished(&dialog, &vexo::ui::SetupCheckDialog::CheckFinished);
    dialog.StartCheck(vexo::ui::SetupCheckDialog::Probe::no);
    QVERIFY(dialog.Checking());
    QVERIFY(finished.wait(20000));
    QCOMPARE(dialog.Summary()->text(), QStringLiteral("T7208"));  // a warning does not block
    QTreeWidgetItem* latency = Row(dialog, "latency timer 16 ms");
    QVERIFY(latency != nullptr);
    QCOMPARE(latency->text(0), QStringLiteral("T7211"));
    QVERIFY(latency->text(2).contains(QStringLiteral("60-vexo-serial.rules")));
    QCOMPARE(probes.load(), 0);

    dialog.findChild<QPushButton*>(QStringLiteral("setupCheckProbe"))->click();
    QVERIFY(finished.wait(20000));
    QCOMPARE(probes.load(), 1);
    QTreeWidgetItem* answer = Row(dialog, "the radio answers");
    QVERIFY(answer != nullptr);
    QCOMPARE(answer->text(0), QStringLiteral("T7210"));
  }

 private:
  static QTreeWidgetItem* Row(const vexo::ui::SetupCheckDialog& dialog, const char* part) {
    for (int i = 0; i < dialog.List()->topLevelItemCount(); ++i) {
      QTreeWidgetItem* row = dialog.List()->topLevelItem(i);
      if (row->text(1).contains(QLatin1String(part))) return row;
    }
    return nullptr;
  }

  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }

  static void MakeFtdiCable(const fs::path& root, const std::string& pty) {
    const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-1";
    Write(usb / "idVendor", "0403\n");
    Write(usb / "idProduct", "6001\n");
    Write(usb / "1-1:1.0/ttyUSB0/latency_timer", "16\n");
    fs::create_directories(root / "sys/class/tty/ttyUSB0");
    fs::create_directory_symlink(usb / "1-1:1.0/ttyUSB0", root / "sys/class/tty/ttyUSB0/device");
    fs::create_directories(root / "dev");
    fs::create_directories(root / "proc");
    fs::create_symlink(pty, root / "dev/ttyUSB0");
  }
};

QTEST_MAIN(SetupCheckDialogTest)
#include "setup_check_dialog_test.moc"
