#include "history/job_fields.h"

#include <gtest/gtest.h>

#include <map>

#include "history/history_store.h"
#include "history/stored_job.h"
#include "tests/history/history_test_support.h"

namespace vexo {
namespace {

// A field added to the table needs its column in a schema step; a field
// renamed or moved changes what older rows' digests cover, and they would no
// longer verify. The digests below are those of rows written before the
// table existed.
TEST(JobFields, MatchTheShippedSchemaAndKeepTheDigestsOfOlderRows) {
  testing::ScratchFolder folder;
  const std::string path = folder.File("history.sqlite3");
  JobRecord job = testing::SampleJob(1);
  job.ended_utc_ms = job.started_utc_ms + 25'000;
  {
    HistoryStore store;
    ASSERT_TRUE(store.OpenForRecording(path).ok());
    ASSERT_TRUE(store.BeginJob(job).ok());
    job.result = JobResult::kCompleted;
    ASSERT_TRUE(store.FinishJob(job).ok());
  }
  EXPECT_EQ(job.chain_hash, "v2:48cd64037c9b5ffecb4e9db7c751b49750744a1c559c58d4b2ef0c8fdb63ca52");
  EXPECT_EQ(ChainDigest({1, 0, ""}, job),
            "3148ea479ac9799f06ef06ab0c5e9e461a9d26d8ba7010a805db79d0b11fb4b3");

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  std::map<std::string, std::string> schema;
  {
    SqlStatement columns(db, "SELECT name, type FROM pragma_table_info('jobs')");
    while (columns.Step() == SQLITE_ROW) schema[columns.Text(0)] = columns.Text(1);
  }
  sqlite3_close(db);
  EXPECT_EQ(schema.size(), JobColumnFields().size());
  for (const JobField* field : JobColumnFields()) {
    const bool text =
        field->domain == ColumnDomain::kText || field->domain == ColumnDomain::kProgram ||
        field->domain == ColumnDomain::kMode || field->domain == ColumnDomain::kResult ||
        field->domain == ColumnDomain::kChainHash;
    EXPECT_EQ(schema[field->name], text ? "TEXT" : "INTEGER") << field->name;
  }
}

}  // namespace
}  // namespace vexo
