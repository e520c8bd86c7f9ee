// A seeded fault campaign on simulated time: random jobs against a radio on a
// noisy, unreliable line. Whatever happens, the job must end within the time
// its limits allow, say what happened, leave nothing open, and never report
// a verified download unless the radio holds the image.
// VEXO_CAMPAIGN_RUNS and VEXO_CAMPAIGN_SEED change the run count and seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "app/text_ids.h"
#include "download/download_worker.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_radio.h"
#include "tests/support/temp_workdir.h"
#include "tests/support/test_image.h"

namespace vexo {
namespace {

using testing::FakeClock;
using testing::FakeHost;
using testing::FakeRadio;
using testing::T;

int EnvOr(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::atoi(value) : fallback;
}

// The longest a job may take when every exchange uses all its attempts and
// first waits its whole limit for a noisy line to go quiet.
std::int64_t TimeBound(int records, bool verify) {
  auto attempts = [](int limit) { return 4 * (limit + 1); };
  std::int64_t bound = 101;                                     // settle after opening
  bound += 30 * (200 + 1);                                      // probes
  bound += 2 * attempts(3000) + attempts(500) + attempts(300);  // FIRMWAR DOWNING 02 BPSSET
  bound += 201 + attempts(600);                                 // switch, echo test
  bound += attempts(8000) + 350 + 100;                          // erase
  bound += static_cast<std::int64_t>(records) * attempts(1500) * (verify ? 2 : 1);
  bound += 2 * attempts(1300);  // closing
  return bound;
}

struct Outcome {
  int completed = 0;
  int stopped = 0;
};

void RunOne(std::mt19937& pick, Outcome& outcome) {
  testing::TempWorkdir workdir;
  FakeClock clock;
  FakeHost host(clock);
  FakeRadio radio(host.port);
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(pick) < p; };
  auto between = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(pick);
  };

  const int records = between(1, 40);
  // Record addresses from the whole range: read-back reaches 16-bit
  // addresses only, and a verified download must never pass records it
  // could not read.
  const std::uint32_t region = chance(0.7) ? 0 : chance(0.5) ? 0x10000 : 0x80000000u;
  const std::uint32_t base = region + 128u * between(0, 16);
  // Replies that trickle in small pieces, one of them stalling about as long
  // as its limit: the reply to an earlier sending may still be arriving when
  // an exchange ends. With pages of equal content, such a late reply of one
  // page would verify the next.
  const bool trickle = chance(0.35);
  const bool blank = chance(0.2);
  const bool same = !blank && chance(trickle ? 0.7 : 0.3);
  // Records a page apart leave each page's second half as erased padding.
  const std::uint32_t step = trickle && chance(0.5) ? 256 : 128;
  auto image = testing::MakeImage(records, base, between(0, 132), blank, step, same);
  testing::WriteFile(workdir.File("fw.BIN"), image);
  host.path = workdir.File("fw.BIN");
  host.mode = chance(0.5) ? kModeEraseProgramVerify : kModeEraseProgram;
  const int rates[] = {9600, 19200, 38400, 57600, 115200};
  host.baud = rates[between(0, 4)];
  radio.random.seed(pick());
  radio.run_replies = chance(0.5);
  if (chance(0.5)) {
    radio.noise.drop = chance(0.5) ? 0.002 * between(0, 10) : 0;
    radio.noise.corrupt = chance(0.5) ? 0.002 * between(0, 10) : 0;
    radio.noise.late = chance(0.3) ? 0.05 : 0;
    radio.noise.split = chance(0.5) ? 0.3 : 0;
  }
  if (trickle) {
    radio.noise.piece_bytes = between(1, 4);
    radio.noise.piece_gap_ms = between(1, 6);
    radio.stall_read = between(0, records - 1);
    radio.stall_ms = between(1490, 1508);  // around the read limit of 1500 ms
  }
  if (chance(0.05)) radio.erase_reply.clear();
  if (chance(0.05)) radio.erase_reply = "45";
  if (chance(0.05)) radio.downing_reply = "15";
  if (chance(0.1)) radio.hang_up_after = between(1, records);
  if (chance(0.05)) radio.silent_record = between(0, records - 1);
  if (chance(0.1) && region == 0) radio.corrupt_flash_at = between(base, base + 128 * records - 1);
  if (chance(0.05)) radio.answer_closing = false;
  // The last page, read after the stalled one, written wrong: only its own
  // reply tells.
  if (trickle && radio.stall_read + 1 < records && region == 0 && chance(0.8)) {
    radio.corrupt_flash_at = static_cast<int>(base + step * (records - 1)) + between(0, 127);
  }

  const std::int64_t start = clock.now;
  const int result = DownloadWorker(host, clock);
  const std::int64_t took = clock.now - start;
  SCOPED_TRACE("records " + std::to_string(records) + " mode " + std::to_string(host.mode));

  EXPECT_LE(took, TimeBound(records, host.mode == kModeEraseProgramVerify));
  EXPECT_FALSE(host.port.open);
  EXPECT_FALSE(host.controls_busy);
  EXPECT_EQ(host.cursor, 0);
  EXPECT_FALSE(host.indicator);
  const auto completions =
      std::count(host.messages.begin(), host.messages.end(), T(text::kDownloadComplete));
  if (result == 0) {
    ++outcome.completed;
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(host.messages.back(), T(text::kDownloadComplete));
  } else {
    ++outcome.stopped;
    EXPECT_EQ(completions, 0);
    EXPECT_FALSE(host.messages.empty()) << "a stopped job must say why";
  }
  // A verified download that reached its end left the image in the flash.
  if (result == 0 && host.mode == kModeEraseProgramVerify) {
    for (int i = 0; i < records; ++i) {
      const std::size_t at = 36 + 133 * static_cast<std::size_t>(i);
      const std::uint32_t address = (std::uint32_t{image[at]} << 24) | (image[at + 1] << 16) |
                                    (image[at + 2] << 8) | image[at + 3];
      ASSERT_TRUE(address + 128ull <= radio.flash.size() &&
                  std::equal(image.begin() + at + 4, image.begin() + at + 132,
                             radio.flash.begin() + address))
          << "record " << i << " at " << address << " not in the flash after a verified download";
    }
  }
}

TEST(FaultCampaign, EveryJobEndsCleanlyAndNeverPassesABadFlash) {
  const int runs = EnvOr("VEXO_CAMPAIGN_RUNS", 300);
  std::mt19937 pick(static_cast<unsigned>(EnvOr("VEXO_CAMPAIGN_SEED", 20261210)));
  Outcome outcome;
  for (int run = 0; run < runs && !HasFatalFailure(); ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    RunOne(pick, outcome);
  }
  std::printf("fault campaign: %d runs, %d completed, %d stopped\n", runs, outcome.completed,
              outcome.stopped);
  // Both kinds of ending must occur, or the campaign is not exercising much.
  EXPECT_GT(outcome.completed, runs / 10);
  EXPECT_GT(outcome.stopped, runs / 10);
}

}  // namespace
}  // namespace vexo
