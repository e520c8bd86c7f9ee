#include "history/job_recorder.h"

#include <gtest/gtest.h>

#include <fstream>

#include "download/download_worker.h"
#include "history/job_facts.h"
#include "history/sha256.h"
#include "tests/history/history_test_support.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_radio.h"
#include "tests/support/test_image.h"

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

TEST(JobRecorder, EachPhaseChangeLeavesTheRowCurrentAndFinishClosesTheLastPhase) {
  testing::ScratchFolder folder;
  const std::string path = folder.File("history.sqlite3");
  JobRecorder recorder(path);
  recorder.Start(SampleJob());
  recorder.record().phases.clear();
  recorder.record().message_ids.clear();
  recorder.StartPhase(phase::kHandshake);
  recorder.current_phase()->retries = 2;
  recorder.AddMessage(3009);
  recorder.StartPhase(phase::kErase);

  HistoryStore reader;
  ASSERT_TRUE(reader.OpenForReading(path).ok());
  JobRecord mid_job = reader.Recent(1).value.at(0);  // what a crash here would leave
  EXPECT_EQ(mid_job.result, JobResult::kInterrupted);
  ASSERT_EQ(mid_job.phases.size(), 2u);
  EXPECT_EQ(mid_job.phases[0].retries, 2);
  EXPECT_EQ(mid_job.message_ids, std::vector<int>{3009});

  recorder.Finish(JobResult::kFailed, 1);
  EXPECT_FALSE(recorder.TakeFailure());
  const JobRecord done = reader.Recent(1).value.at(0);
  EXPECT_EQ(done.result, JobResult::kFailed);
  EXPECT_EQ(done.exit_status, 1);
  EXPECT_GE(done.phases[1].duration_ms, 0);
  EXPECT_EQ(done.phases[1].started_utc_ms + done.phases[1].duration_ms, done.ended_utc_ms);
  const ChainCheck check = reader.CheckChain().value;
  EXPECT_TRUE(check.intact()) << check.reason;
  ASSERT_TRUE(recorder.head());  // the copy the host hands out
  EXPECT_EQ(*recorder.head(), check.head);
}

// The row is written before the job sends anything; a file replaced in
// between (while the history is busy, say) must change neither side.
TEST(JobRecorder, TheRecordDescribesTheBytesSentWhenTheFileIsReplacedBeforeTheSend) {
  testing::ScratchFolder folder;
  testing::FakeClock clock;
  testing::FakeHost host{clock};
  testing::FakeRadio radio{host.port};
  host.mode = kModeEraseProgram;
  host.path = folder.File("fw.BIN");
  const std::vector<std::uint8_t> sent = testing::MakeImage(3, 0x400);
  testing::WriteFile(host.path, sent);

  const LoadedImage image = LoadJobImage(host);
  const JobRecord record = RecordOf(GatherJobFacts("COM1", 57600, host.mode, host.path, image),
                                    JobProgram::kCommandLine, {});
  testing::WriteFile(host.path, testing::MakeImage(5, 0x2000));
  ASSERT_EQ(DownloadWorker(host, image, clock), 0);

  EXPECT_EQ(record.firmware_sha256,
            Sha256Hex(std::string_view(reinterpret_cast<const char*>(sent.data()), sent.size())));
  EXPECT_EQ(record.firmware_size, sent.size());
  EXPECT_EQ(record.record_count, 3);
  EXPECT_EQ(record.lowest_address, 0x400u);
  EXPECT_EQ(record.highest_address, 0x500u);
  EXPECT_EQ(radio.records, 3);
  EXPECT_TRUE(
      std::equal(sent.begin() + 36 + 4, sent.begin() + 36 + 132, radio.flash.begin() + 0x400));
}

}  // namespace
}  // namespace vexo
