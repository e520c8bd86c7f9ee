// The Test button: every programming message of the chosen file in the log,
// nothing sent; and the log box's length as the exchange's cap counts it.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "download/firmware_image.h"
#include "tests/ui/ui_test_support.h"
#include "ui/log_box.h"
#include "ui/updater_dialog.h"

using namespace vexo::testing;

namespace {

// A header of 36 bytes and `records` records of 133 bytes.
std::string Image(int records) {
  std::string bytes(36, '\x11');
  for (int r = 0; r < records; ++r) {
    bytes += std::string{'\0', '\0', static_cast<char>(r), '\0'};
    for (int i = 0; i < 128; ++i) bytes += static_cast<char>(r * 7 + i);
    bytes += '\xEE';
  }
  return bytes;
}

}  // namespace

class TestListingTest : public QObject {
  Q_OBJECT

 private slots:
  void listsEveryRecordOnce() {
    UiWorkdir dir({}, /*diagnostic=*/true);
    dir.Write("fw.BIN", Image(3) + "\x01\x02");  // a partial record is not listed
    CUpdaterDialog dialog;
    dialog.show();
    Control<QLineEdit>(dialog, "pathEdit")->setText(Q("  " + dir.File("fw.BIN") + " "));
    Control<QPushButton>(dialog, "testButton")->click();

    const QStringList lines =
        Control<QPlainTextEdit>(dialog, "logView")->toPlainText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    for (const QString& line : lines) {
      QVERIFY(line.startsWith("S:50"));
      QCOMPARE(line.size(), 2 + 270);
    }
    // Record 1: lead 50, address 00000100, count 80, first data byte 07.
    QVERIFY(lines[1].startsWith("S:50000001008007"));
    QCOMPARE(dialog.Host().Log().TextLength(), std::size_t{3 * (2 + 270 + 2)});
    QVERIFY(!dialog.Host().SerialPort().PortOpen());
  }

  void missingFileShowsItsMessage() {
    UiWorkdir dir({}, true);
    CUpdaterDialog dialog;
    MessageAnswerer answerer;
    Control<QLineEdit>(dialog, "pathEdit")->setText(Q(dir.File("absent.BIN")));
    dialog.ListProgramMessages();
    QCOMPARE(answerer.answered, QStringList{Q(T(6007))});
    QCOMPARE(dialog.Host().Log().TextLength(), std::size_t{0});
  }

  void fullLogIsEmptiedOnceBeforeListing() {
    UiWorkdir dir({}, true);
    dir.Write("fw.BIN", Image(1));
    CUpdaterDialog dialog;
    Control<QLineEdit>(dialog, "pathEdit")->setText(Q(dir.File("fw.BIN")));
    constexpr std::size_t kCap = 1'638'400;
    constexpr std::size_t kListed = 2 + 270 + 2;

    dialog.Host().Log().AppendLine(Filler(kCap - 1));
    QCOMPARE(dialog.Host().Log().TextLength(), kCap - 1);
    dialog.ListProgramMessages();
    QCOMPARE(dialog.Host().Log().TextLength(), kCap - 1 + kListed);

    dialog.Host().Log().Empty();
    QCOMPARE(dialog.Host().Log().TextLength(), std::size_t{0});
    dialog.Host().Log().AppendLine(Filler(kCap));
    dialog.ListProgramMessages();
    QCOMPARE(dialog.Host().Log().TextLength(), kListed);
  }

 private:
  // Lines ending "\r\n" that make up exactly length characters.
  static std::string Filler(std::size_t length) {
    std::string text;
    while (length - text.size() > 1002) text += std::string(1000, 'A') + "\r\n";
    text += std::string(length - text.size() - 2, 'B') + "\r\n";
    return text;
  }
};

QTEST_MAIN(TestListingTest)
#include "test_listing_test.moc"
