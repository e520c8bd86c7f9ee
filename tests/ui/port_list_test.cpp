// The port list follows what is plugged in: a device that appears in /dev
// while the window is open shows in the hints without a restart, and one
// that goes away leaves its name empty again.
#include <QLabel>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/process_state.h"
#include "ui/port_list.h"

namespace fs = std::filesystem;

class PortListTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    root_ = fs::temp_directory_path() / ("vexo-ports-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "dev");
    fs::create_directories(root_ / "sys/class/tty");
    fs::create_directories(root_ / "work");
    vexo::AppState().WorkingDirectory = (root_ / "work").string();  // no [ports] overrides
  }
  void cleanup() { fs::remove_all(root_); }

  void CablePluggedInWhileOpenIsFound() {
    vexo::ui::PortList list;
    QLabel hint;
    list.SetHintLabel(&hint);
    list.setCurrentIndex(0);
    list.SetSystemPaths({(root_ / "dev").string(), (root_ / "sys").string()});
    QCOMPARE(hint.text(), QStringLiteral("COM1 → —"));

    const std::string device = (root_ / "dev/ttyUSB0").string();
    std::ofstream(device) << "";
    QTRY_COMPARE_WITH_TIMEOUT(
        hint.text(), QStringLiteral("COM1 → %1").arg(QString::fromStdString(device)), 5000);
    QCOMPARE(list.itemData(0, Qt::ToolTipRole).toString(), QString::fromStdString(device));

    fs::remove(device);
    QTRY_COMPARE_WITH_TIMEOUT(hint.text(), QStringLiteral("COM1 → —"), 5000);
  }

  void DroppingTheListDownReadsTheMapAgain() {
    vexo::ui::PortList list;
    list.SetSystemPaths({(root_ / "dev").string(), (root_ / "sys").string()});
    QVERIFY(list.itemData(1, Qt::ToolTipRole).toString().isEmpty());
    std::ofstream((root_ / "dev/ttyACM0").string()) << "";
    std::ofstream((root_ / "dev/ttyUSB3").string()) << "";
    list.showPopup();  // before the watcher's settling time has passed
    QCOMPARE(list.itemData(0, Qt::ToolTipRole).toString(),
             QString::fromStdString((root_ / "dev/ttyUSB3").string()));
    QCOMPARE(list.itemData(1, Qt::ToolTipRole).toString(),
             QString::fromStdString((root_ / "dev/ttyACM0").string()));
    list.hidePopup();
  }

 private:
  fs::path root_;
};

QTEST_MAIN(PortListTest)
#include "port_list_test.moc"
