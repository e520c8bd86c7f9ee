#include "history/job_recorder.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/history/history_test_support.h"

namespace vexo {
namespace {

using testing::SampleJob;

TEST(JobRecorder, AHistoryThatCannotBeWrittenIsReportedOnceAndNeverStopsTheJob) {
  testing::ScratchFolder folder;
  std::ofstream(folder.File("plain-file")) << "x";
  JobRecorder recorder(folder.File("plain-file/history.sqlite3"));
  recorder.Start(SampleJob());
  recorder.record().message_ids.push_back(3025);
  recorder.Update();
  recorder.Finish(JobResult::kCompleted, 0);
  const auto failure = recorder.TakeFailure();
  ASSERT_TRUE(failure);
  EXPECT_NE(failure->find("plain-file"), std::string::npos) << *failure;
  EXPECT_FALSE(recorder.TakeFailure());
}

}  // namespace
}  // namespace vexo
