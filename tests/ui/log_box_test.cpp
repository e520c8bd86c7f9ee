// The log box's "Save log…": the file holds the lines exactly as the
// exchange gave them (pending ones included, "\r\n" ends), and a file that
// cannot be written comes back as a reason, the file left as it was.
#include <QAction>
#include <QMenu>
#include <QTest>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "tests/ui/ui_test_support.h"
#include "ui/log_box.h"

class LogBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void SavesTheLinesAsShown() {
    vexo::testing::UiWorkdir workdir;
    vexo::ui::LogBox box;
    box.AppendLine("S:44 41 4C 4C \r\n");
    // A line from the download thread not shown yet is saved too.
    std::thread([&box] { box.AppendLine("R:\r\n"); }).join();
    std::unique_ptr<QMenu> menu(box.NewContextMenu());
    auto* save = menu->findChild<QAction*>(QStringLiteral("saveLog"));
    QVERIFY(save && save->isEnabled());
    QCOMPARE(save->text(), vexo::testing::Q(vexo::testing::T(vexo::text::kSaveLogEntry)));

    QString error;
    const std::string path = workdir.File("saved.log");
    QVERIFY2(box.SaveTo(vexo::testing::Q(path), error), qPrintable(error));
    std::ifstream in(path, std::ios::binary);
    const std::string saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    QCOMPARE(saved, std::string("S:44 41 4C 4C \r\nR:\r\n"));
  }

  void TellsWhyItCouldNotSave() {
    vexo::testing::UiWorkdir workdir;
    vexo::ui::LogBox box;
    box.AppendLine("S:45 \r\n");
    QString error;
    QVERIFY(!box.SaveTo(vexo::testing::Q(workdir.File("no-such-folder/saved.log")), error));
    QVERIFY(!error.isEmpty());
  }
};

QTEST_MAIN(LogBoxTest)
#include "log_box_test.moc"
