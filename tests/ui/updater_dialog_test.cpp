// The main dialog without a job: first start, restored and stored settings,
// language, model choice, diagnostic layout, the file choice and the about box.
#include <sys/stat.h>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "app/process_state.h"
#include "link/port_map.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/updater_dialog.h"

using namespace vexo::testing;

namespace {

// What the first start selects on this machine: the lowest name the port map
// has a device for, or nothing.
QString FirstPresentPort() {
  int first = 0;
  for (const vexo::SerialDevice& device : vexo::CommPortMap()) {
    const int number = vexo::DecimalValue(device.name.substr(3));
    if (number > 0 && (first == 0 || number < first)) first = number;
  }
  return first == 0 ? QString() : QStringLiteral("COM%1").arg(first);
}

}  // namespace

class UpdaterDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void firstStartWithoutSettings() {
    UiWorkdir dir;
    CUpdaterDialog dialog;
    dialog.show();
    // Nothing saved: the first name with a device behind it, if any.
    QCOMPARE(Control<QComboBox>(dialog, "portList")->currentText(), FirstPresentPort());
    QCOMPARE(Control<QComboBox>(dialog, "portList")->count(), 16);
    QCOMPARE(Control<QComboBox>(dialog, "baudList")->currentText(), QStringLiteral("19200"));
    QCOMPARE(Control<QComboBox>(dialog, "modelList")->currentText(), QStringLiteral("TR310P4"));
    QCOMPARE(Control<QLineEdit>(dialog, "pathEdit")->text(), QString());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("VEXO V2.20a"));
    QCOMPARE(Control<QPushButton>(dialog, "languageButton")->text(),
             QStringLiteral("English &Version"));
    QCOMPARE(Control<QLabel>(dialog, "portCaption")->text(), Q(T(6000)));
    QCOMPARE(Control<QPushButton>(dialog, "exitButton")->text(), Q(T(6003)));
    QVERIFY(!Control<QLabel>(dialog, "statusLabel")->isVisible());
    QCOMPARE(Control<QProgressBar>(dialog, "progressBar")->value(), 0);
    QCOMPARE(vexo::AppState().ModelIndex.load(), 0);
    // Without isdebug.txt neither the log nor the Test button shows.
    QVERIFY(!Control<QPlainTextEdit>(dialog, "logView")->isVisible());
    QVERIFY(!Control<QPushButton>(dialog, "testButton")->isVisible());
  }

  void storedPortAndBaud_data() {
    QTest::addColumn<QString>("com");
    QTest::addColumn<QString>("bps");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");
    QTest::newRow("both in the lists") << "COM12"
                                       << "115200"
                                       << "COM12"
                                       << "115200";
    QTest::newRow("port above 16, baud not listed") << "COM17"
                                                    << "4800"
                                                    << "COM1"
                                                    << "19200";
    QTest::newRow("negative port") << "COM-2"
                                   << "9600"
                                   << "COM1"
                                   << "9600";
    QTest::newRow("no digits") << "COM"
                               << "57600"
                               << ""
                               << "57600";
    QTest::newRow("empty") << ""
                           << ""
                           << "first present"
                           << "19200";
    QTest::newRow("digits then letters") << "COM3x"
                                         << " 38400 "
                                         << "COM3"
                                         << "38400";
  }
  void storedPortAndBaud() {
    QFETCH(QString, com);
    QFETCH(QString, bps);
    UiWorkdir dir("[computer]\ncom=" + com.toStdString() + "\nbps=" + bps.toStdString() +
                  "\n[file]\nfile_path=/data/fw one.BIN\n");
    CUpdaterDialog dialog;
    QFETCH(QString, port);
    QCOMPARE(Control<QComboBox>(dialog, "portList")->currentText(),
             port == QStringLiteral("first present") ? FirstPresentPort() : port);
    QTEST(Control<QComboBox>(dialog, "baudList")->currentText(), "baud");
    QCOMPARE(Control<QLineEdit>(dialog, "pathEdit")->text(), QStringLiteral("/data/fw one.BIN"));
  }

  void closeBoxKeepsLanguageExitStoresIt() {
    UiWorkdir dir("[computer]\ncom=COM2\n");
    {
      CUpdaterDialog dialog;
      dialog.show();
      Control<QPushButton>(dialog, "languageButton")->click();
      Control<QComboBox>(dialog, "baudList")->setCurrentIndex(4);
      QVERIFY(dialog.close());
      QVERIFY(!dialog.isVisible());
    }
    QVERIFY(vexo::RunStartup(dir.path()));
    QCOMPARE(vexo::AppState().LanguageBase.load(), vexo::kLanguageChinese);
    const std::string settings = dir.Settings();
    QVERIFY(settings.find("com=COM2") != std::string::npos);
    QVERIFY(settings.find("bps=115200") != std::string::npos);
    QVERIFY(settings.find("radio_type=TR310P4") != std::string::npos);
    QVERIFY(settings.find("file_path=") != std::string::npos);

    {
      CUpdaterDialog dialog;
      dialog.show();
      Control<QPushButton>(dialog, "languageButton")->click();
      Control<QPushButton>(dialog, "exitButton")->click();
      QVERIFY(!dialog.isVisible());
    }
    QVERIFY(vexo::RunStartup(dir.path()));
    QCOMPARE(vexo::AppState().LanguageBase.load(), vexo::kLanguageEnglish);
    QCOMPARE(vexo::ReadSetting("language", "language"), std::string("2"));
  }

  void settingsThatCannotBeSavedAreSaidOnceAtTheClose() {
    UiWorkdir dir("[computer]\ncom=COM2\n");
    QVERIFY(chmod(dir.File("system.ini").c_str(), 0444) == 0);
    vexo::testing::MessageAnswerer answerer;
    {
      CUpdaterDialog dialog;
      dialog.show();
      Control<QPushButton>(dialog, "exitButton")->click();
      QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(answerer.answered.size(), 1);
    QVERIFY(answerer.answered[0].startsWith(Q(vexo::testing::T(vexo::text::kSettingsNotSaved))));
    QVERIFY(answerer.answered[0].contains(Q(dir.File("system.ini"))));
  }

  void escapeClosesLikeTheCloseBoxEnterDoesNot() {
    UiWorkdir dir;
    CUpdaterDialog dialog;
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QVERIFY(dir.Settings().find("bps=19200") != std::string::npos);
  }

  void toggleTwiceReturns() {
    UiWorkdir dir;
    CUpdaterDialog dialog;
    auto* toggle = Control<QPushButton>(dialog, "languageButton");
    toggle->click();
    QCOMPARE(vexo::AppState().LanguageBase.load(), vexo::kLanguageEnglish);
    QCOMPARE(toggle->text(), QStringLiteral("Chinese &Version"));
    QCOMPARE(Control<QLabel>(dialog, "baudCaption")->text(), QStringLiteral("E6001"));
    QCOMPARE(Control<QPushButton>(dialog, "openButton")->text(), QStringLiteral("E6002"));
    QCOMPARE(Control<QLabel>(dialog, "modelCaption")->text(), QStringLiteral("E6013"));
    QCOMPARE(Control<QLabel>(dialog, "statusLabel")->text(), QStringLiteral("E6012"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("VEXO V2.20a"));
    toggle->click();
    QCOMPARE(vexo::AppState().LanguageBase.load(), vexo::kLanguageChinese);
    QCOMPARE(toggle->text(), QStringLiteral("English &Version"));
    QCOMPARE(Control<QLabel>(dialog, "baudCaption")->text(), Q(T(6001)));
  }

  void modelChoiceResetsBaud() {
    UiWorkdir dir("[computer]\nbps=57600\n");
    CUpdaterDialog dialog;
    dialog.show();
    auto* baud = Control<QComboBox>(dialog, "baudList");
    auto* model = Control<QComboBox>(dialog, "modelList");
    QCOMPARE(baud->currentText(), QStringLiteral("57600"));
    model->setFocus();
    QTest::keyClick(model, Qt::Key_Down);
    QCOMPARE(model->currentText(), QStringLiteral("TR420PD"));
    QCOMPARE(baud->currentText(), QStringLiteral("9600"));
    QCOMPARE(vexo::AppState().ModelIndex.load(), 3);
    QVERIFY(Control<QPushButton>(dialog, "eprButton")->isEnabled());

    baud->setCurrentIndex(3);
    QTest::keyClick(model, Qt::Key_Up);
    QCOMPARE(baud->currentText(), QStringLiteral("9600"));
    QCOMPARE(vexo::AppState().ModelIndex.load(), 0);
  }

  void diagnosticWindowShowsLogAndTest() {
    int plain_height = 0;
    {
      UiWorkdir dir;
      CUpdaterDialog dialog;
      dialog.show();
      plain_height = dialog.height();
    }
    UiWorkdir dir({}, /*diagnostic=*/true);
    CUpdaterDialog dialog;
    dialog.show();
    QVERIFY(Control<QPlainTextEdit>(dialog, "logView")->isVisible());
    QVERIFY(Control<QPushButton>(dialog, "testButton")->isVisible());
    QVERIFY(dialog.height() > plain_height + 200);
  }

  void portListNamesTheDevices() {
    UiWorkdir dir("[ports]\ncom2=/dev/vexo-test-radio\n");
    CUpdaterDialog dialog;
    auto* ports = Control<QComboBox>(dialog, "portList");
    QCOMPARE(ports->itemData(1, Qt::ToolTipRole).toString(),
             QStringLiteral("/dev/vexo-test-radio"));
    // The mapped name carries the dot, a name nothing stands for does not.
    QVERIFY(ports->itemIcon(1).pixmap(10).toImage() != ports->itemIcon(15).pixmap(10).toImage());
    ports->setCurrentIndex(1);
    QCOMPARE(Control<QLabel>(dialog, "portHint")->text(),
             QStringLiteral("COM2 → /dev/vexo-test-radio"));
  }

  void fileChoiceShowsLowerCaseBin() {
    UiWorkdir dir;
    dir.Write("upper.BIN", "x");
    dir.Write("lower.bin", "x");
    dir.Write("notes.txt", "x");
    CUpdaterDialog dialog;
    auto* path = Control<QLineEdit>(dialog, "pathEdit");
    path->setText(Q(dir.File("upper.BIN")));
    QStringList listed;
    QTimer::singleShot(0, [&] {
      auto* files = dialog.findChild<QFileDialog*>();
      auto give_up = qScopeGuard([files] { files->reject(); });  // a failed check must not hang
      auto* view = files->findChild<QListView*>(QStringLiteral("listView"));
      QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 2);
      for (int row = 0; row < 2; ++row) {
        listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
      }
      files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText("lower.bin");
      give_up.dismiss();
      static_cast<QDialog*>(files)->accept();
    });
    dialog.SelectFirmwareFile();
    listed.sort();
    QCOMPARE(listed, (QStringList{"lower.bin", "upper.BIN"}));
    QCOMPARE(path->text(), Q(dir.File("lower.bin")));
  }

  void f1OpensTheAboutBox() {
    UiWorkdir dir;
    CUpdaterDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QString name;
    QTimer::singleShot(0, [&] {
      auto* about = dialog.findChild<CAboutDialog*>();
      name = Control<QLabel>(*about, "aboutName")->text();
      about->accept();
    });
    QTest::keyClick(&dialog, Qt::Key_F1);
    QCOMPARE(name, QStringLiteral("VEXO V2.20a"));
  }
};

QTEST_MAIN(UpdaterDialogTest)
#include "updater_dialog_test.moc"
