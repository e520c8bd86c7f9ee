// What the batch window takes from vexo-flash's event stream: every field a
// lane shows, and a refusal (never a half-filled event) for a line that is
// not a known event of this version with the fields it needs.
#include <QtTest>

#include "ui/batch_event.h"

using vexo::ui::BatchEvent;
using vexo::ui::ParseBatchEvent;

namespace {

// JSON written with ' for " (moc does not read raw string literals).
QByteArray Line(const char* text) {
  return QByteArray(text).replace('\'', '"');
}

}  // namespace

class BatchEventTest : public QObject {
  Q_OBJECT

 private slots:
  void eventsCarryWhatALaneShows() {
    auto parse = [](const char* line) {
      const auto parsed = ParseBatchEvent(line);
      if (!parsed.event) qFatal("refused: %s", qPrintable(parsed.error));
      return *parsed.event;
    };
    const BatchEvent start = parse(Line(
        "{'v':1,'t':0,'event':'start','port':'COM1','device':'/dev/ttyUSB0','usb_serial':'A1'}"));
    QCOMPARE(start.kind, BatchEvent::Kind::start);
    QCOMPARE(start.device, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(start.usb_serial, QStringLiteral("A1"));
    const BatchEvent progress = parse(
        Line("{'v':1,'t':812,'event':'progress','phase':'programming','done':7,'total':512}"));
    QCOMPARE(progress.t_ms, 812);
    QCOMPARE(progress.phase, QStringLiteral("programming"));
    QCOMPARE(progress.done, 7);
    QCOMPARE(progress.total, 512);
    const BatchEvent message = parse(Line("{'v':1,'t':5,'event':'message','id':3009,'text':'x'}"));
    QCOMPARE(message.text_id, 3009);
    const BatchEvent end = parse(Line(
        "{'v':1,'t':9,'event':'end','result':'stopped','exit_status':143,'history_row':null}"));
    QCOMPARE(end.result, BatchEvent::Result::stopped);
    QCOMPARE(end.exit_status, 143);
    QCOMPARE(parse(Line("{'v':1,'t':9,'event':'end','result':'completed','exit_status':0}")).result,
             BatchEvent::Result::completed);
    QCOMPARE(parse(Line("{'v':1,'t':9,'event':'end','result':'failed','exit_status':1}")).result,
             BatchEvent::Result::failed);
  }

  void linesThatAreNoEventAreRefused_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("vexo-flash: usage error");
    QTest::newRow("array") << QByteArray("[1,2]");
    QTest::newRow("cut short") << Line("{'v':1,'t':0,'event':'pha");
    QTest::newRow("other version") << Line("{'v':2,'t':0,'event':'phase','name':'erase'}");
    QTest::newRow("no time") << Line("{'v':1,'event':'phase','name':'erase'}");
    QTest::newRow("unknown event") << Line("{'v':1,'t':0,'event':'reboot'}");
    QTest::newRow("phase without name") << Line("{'v':1,'t':0,'event':'phase'}");
    QTest::newRow("done above total")
        << Line("{'v':1,'t':0,'event':'progress','done':9,'total':8}");
    QTest::newRow("count as text") << Line("{'v':1,'t':0,'event':'progress','done':'1','total':8}");
    QTest::newRow("message without id") << Line("{'v':1,'t':0,'event':'message'}");
    QTest::newRow("end without result") << Line("{'v':1,'t':0,'event':'end'}");
    QTest::newRow("end, other result") << Line("{'v':1,'t':0,'event':'end','result':'maybe'}");
  }
  void linesThatAreNoEventAreRefused() {
    QFETCH(QByteArray, line);
    const auto parsed = ParseBatchEvent(line);
    QVERIFY(!parsed.event);
    QVERIFY(!parsed.error.isEmpty());
  }
};

QTEST_GUILESS_MAIN(BatchEventTest)
#include "batch_event_test.moc"
