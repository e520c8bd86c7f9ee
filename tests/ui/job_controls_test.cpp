// The busy indicator and the job buttons as the engine drives them, called
// here on the user-interface thread (the calls then run directly), and the
// progress bar's time line.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "tests/ui/ui_test_support.h"
#include "ui/busy_indicator.h"
#include "ui/updater_dialog.h"
#include "ui/window_texts.h"

using namespace vexo::testing;

class JobControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void indicatorDotsCycleAcrossErases() {
    UiWorkdir dir;
    CUpdaterDialog dialog;
    dialog.show();
    auto* box = Control<vexo::ui::BusyIndicator>(dialog, "busyIndicator");
    QVERIFY(!box->isVisible());
    dialog.Host().StartBusyIndicator();
    QVERIFY(dialog.Host().BusyIndicatorRunning());
    QStringList shown;
    for (int tick = 0; tick < 5; ++tick) {
      dialog.Host().BusyIndicatorTick();
      shown << box->text();
    }
    QVERIFY(box->isVisible());
    dialog.Host().StopBusyIndicator();
    QVERIFY(!dialog.Host().BusyIndicatorRunning());
    QVERIFY(!box->isVisible());
    // A later erase goes on where the last one stopped.
    dialog.Host().StartBusyIndicator();
    Control<QPushButton>(dialog, "languageButton")->click();
    for (int tick = 0; tick < 2; ++tick) {
      dialog.Host().BusyIndicatorTick();
      shown << box->text();
    }
    dialog.Host().StopBusyIndicator();
    const QString t = Q(T(6017));
    QCOMPARE(shown, (QStringList{t, t + ".", t + "..", t + "...", t + ".", "E6017..", "E6017..."}));
  }

  void indicatorIsAFramedWhiteBoxBelowTheProgressBar() {
    UiWorkdir dir;
    CUpdaterDialog dialog;
    dialog.show();
    dialog.Host().BusyIndicatorTick();
    const QRect rect = dialog.IndicatorRect();
    QCOMPARE(rect.size(), QSize(240, 40));
    QVERIFY(rect.top() >= Control<QProgressBar>(dialog, "progressBar")->geometry().bottom());
    const QImage image = Control<QWidget>(dialog, "busyIndicator")->grab().toImage();
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::black));
    QCOMPARE(image.pixelColor(image.width() - 1, image.height() - 1), QColor(Qt::black));
    QCOMPARE(image.pixelColor(3, 3), QColor(Qt::white));
  }

  void busyDisablesOnlyTheJobButtonsAndHoldsTheWindow() {
    UiWorkdir dir;
    CUpdaterDialog dialog;
    dialog.show();
    dialog.Host().SetJobControls(vexo::JobControls::busy);
    for (const char* name : {"eprButton", "epButton", "exitButton"}) {
      QVERIFY2(!Control<QPushButton>(dialog, name)->isEnabled(), name);
    }
    for (const char* name : {"openButton", "languageButton", "testButton"}) {
      QVERIFY2(Control<QPushButton>(dialog, name)->isEnabled(), name);
    }
    QVERIFY(!dialog.close());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.done(QDialog::Rejected);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dir.Settings(), std::string());  // nothing saved by a refused close

    // Idle with the port never opened: the buttons come back, nothing else.
    dialog.Host().SetJobControls(vexo::JobControls::idle);
    QVERIFY(Control<QPushButton>(dialog, "exitButton")->isEnabled());
    QVERIFY(!dialog.Host().SerialPort().PortOpen());
    QVERIFY(dialog.close());
  }

  void progressShowsElapsedAndRemaining() {
    UiWorkdir dir;
    CUpdaterDialog dialog;
    auto* bar = Control<QProgressBar>(dialog, "progressBar");
    dialog.Host().SetProgressRange(0, 200);
    QCOMPARE(bar->maximum(), 200);
    QCOMPARE(bar->format(), QStringLiteral("%p%   已用 0:00"));
    dialog.Host().SetProgressPosition(50);
    QCOMPARE(bar->value(), 50);
    QVERIFY(bar->format().contains(QStringLiteral("剩余")));

    using vexo::ui::EstimateRemainingMs;
    QCOMPARE(EstimateRemainingMs(10'000, 0, 200, 50), 30'000);
    QCOMPARE(EstimateRemainingMs(10'000, 0, 200, 0), -1);
    QCOMPARE(EstimateRemainingMs(10'000, 0, 200, 200), 0);
    QCOMPARE(vexo::ui::FormatDuration(3'723'000), QStringLiteral("1:02:03"));
    QCOMPARE(vexo::ui::FormatDuration(65'999), QStringLiteral("1:05"));
    QCOMPARE(vexo::ui::PhaseProgressFormat(vexo::kLanguageEnglish, 5'000, 61'000),
             QStringLiteral("%p%   0:05 elapsed, 1:01 left"));
  }
};

QTEST_MAIN(JobControlsTest)
#include "job_controls_test.moc"
