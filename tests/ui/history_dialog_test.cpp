// The history dialog over a small history: newest first, the filter narrows
// by serial number, the selected job's details speak the user's language,
// the export holds what is shown; a large history is read a page at a time;
// a newer file is shown read-only with a notice and a missing one is not
// created by looking.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "history/history_store.h"
#include "tests/history/history_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/history_dialog.h"

using vexo::testing::Control;

class HistoryDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    workdir_ = std::make_unique<vexo::testing::UiWorkdir>();
    path_ = workdir_->File("history.sqlite3");
    vexo::HistoryStore store;
    QVERIFY(store.OpenForRecording(path_).ok());
    for (int n = 1; n <= 3; ++n) {
      vexo::JobRecord job = vexo::testing::SampleJob(n);
      QVERIFY(store.BeginJob(job).ok());
      if (n == 3) break;  // left running: reads interrupted
      job.result = vexo::JobResult::kCompleted;
      QVERIFY(store.FinishJob(job).ok());
    }
  }
  void cleanup() { workdir_.reset(); }

  void FilterSelectAndExport() {
    vexo::ui::HistoryDialog dialog(path_);
    auto* table = Control<QTableView>(dialog, "historyTable");
    QCOMPARE(table->model()->rowCount(), 3);
    QCOMPARE(table->model()->index(0, 1).data().toString(), QStringLiteral("COM3"));
    QVERIFY(Control<QPlainTextEdit>(dialog, "historyDetails")->toPlainText().contains("T7123"));

    Control<QLineEdit>(dialog, "historyFilter")->setText(QStringLiteral("a1002"));
    QCOMPARE(table->model()->rowCount(), 1);
    table->selectRow(0);
    const QString details = Control<QPlainTextEdit>(dialog, "historyDetails")->toPlainText();
    QVERIFY2(details.contains("6011  T6011"), qPrintable(details));  // message in the language
    QVERIFY(details.contains("01 02 03 04 05 06 07 08"));
    QVERIFY(details.contains("0x08000400"));

    const std::string csv = workdir_->File("out.csv");
    QVERIFY(dialog.ExportCsv(QString::fromStdString(csv)));
    std::ifstream in(csv);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    QCOMPARE(std::count(text.begin(), text.end(), '\n'), 2);
    QVERIFY(text.find("A1002") != std::string::npos);
    QVERIFY(!dialog.ExportCsv(QString::fromStdString(workdir_->File("no/such/dir.csv"))));
    QVERIFY(!dialog.ExportCsv(QString::fromStdString(path_)));  // never over the history
  }

  // 500 newer jobs on ports "ZZ" bury the three sample jobs beyond the first
  // page: sorting and filtering must find them in the file, not among the
  // rows fetched so far, and scrolling down fetches the next page.
  void LargeHistoryFetchesOnScrollAndSortsAndFiltersTheWholeFile() {
    QCOMPARE(vexo::testing::RawSql(
                 path_,
                 "CREATE TEMP TABLE copy AS SELECT * FROM jobs WHERE id = 1;"
                 "UPDATE copy SET id = NULL, chain_seq = NULL, chain_hash = NULL, "
                 "port_chosen = 'ZZ', usb_serial = 'BULK', started_utc_ms = started_utc_ms + 1e9;"
                 "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 500) "
                 "INSERT INTO jobs SELECT copy.* FROM copy, n;"),
             SQLITE_OK);
    vexo::ui::HistoryDialog dialog(path_);
    dialog.show();
    auto* table = Control<QTableView>(dialog, "historyTable");
    QAbstractItemModel* model = table->model();
    QCOMPARE(model->rowCount(), 200);
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("ZZ"));
    table->scrollToBottom();
    QTRY_COMPARE(model->rowCount(), 400);

    table->sortByColumn(1, Qt::AscendingOrder);  // port
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("COM1"));
    QCOMPARE(model->rowCount(), 200);  // started again from the first page
    Control<QLineEdit>(dialog, "historyFilter")->setText(QStringLiteral("a1002"));
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("A1002"));
    Control<QLineEdit>(dialog, "historyFilter")->setText(QStringLiteral("_%"));
    QCOMPARE(model->rowCount(), 0);  // taken literally, not as a pattern
    Control<QLineEdit>(dialog, "historyFilter")->setText(QStringLiteral("bulk"));
    while (model->canFetchMore({})) model->fetchMore({});
    QCOMPARE(model->rowCount(), 500);
  }

  void NewerFileShownReadOnlyAndMissingFileNotCreated() {
    QCOMPARE(vexo::testing::RawSql(path_, "PRAGMA user_version = 9"), SQLITE_OK);
    {
      vexo::ui::HistoryDialog dialog(path_);
      QCOMPARE(Control<QTableView>(dialog, "historyTable")->model()->rowCount(), 3);
      QVERIFY(!Control<QLabel>(dialog, "historyNotice")->isHidden());
      QVERIFY(Control<QLabel>(dialog, "historyNotice")->text().contains("T7118"));
    }
    const std::string missing = workdir_->File("none/history.sqlite3");
    vexo::ui::HistoryDialog dialog(missing);
    QCOMPARE(Control<QTableView>(dialog, "historyTable")->model()->rowCount(), 0);
    QVERIFY(!std::filesystem::exists(missing));
  }

 private:
  std::unique_ptr<vexo::testing::UiWorkdir> workdir_;
  std::string path_;
};

QTEST_MAIN(HistoryDialogTest)
#include "history_dialog_test.moc"
