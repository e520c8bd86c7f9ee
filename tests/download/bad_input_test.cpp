// Bad input a user can hand the engine: firmware files of every wrong kind
// and size, odd path names, and serial ports that are missing, busy,
// forbidden or pulled out in the middle of a job. Each must end in the one
// message that tells the user what happened, with nothing sent that should
// not be, the port closed, the controls idle and the busy cursor off.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>

#include "app/text_ids.h"
#include "download/download_worker.h"
#include "download/firmware_image.h"
#include "download/image_records.h"
#include "link/hex_text.h"
#include "tests/link/pty_pair.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_radio.h"
#include "tests/support/port_host.h"
#include "tests/support/temp_workdir.h"
#include "tests/support/test_image.h"
#include "tests/support/unprivileged.h"

namespace vexo {
namespace {

using namespace std::chrono_literals;
using testing::FakeClock;
using testing::FakeHost;
using testing::FakeRadio;
using testing::PortHost;
using testing::PtyPair;
using testing::T;
using testing::TempWorkdir;

// The state every way out of a job must leave behind.
void ExpectCleanEnd(const FakeHost& host, SerialControl& port) {
  EXPECT_FALSE(port.PortOpen()) << "port left open";
  EXPECT_FALSE(host.controls_busy) << "controls left busy";
  EXPECT_EQ(host.cursor, 0) << "busy cursor left on";
  EXPECT_FALSE(host.indicator) << "indicator left running";
}

bool ControlsEverBusy(const FakeHost& host) {
  return std::find(host.events.begin(), host.events.end(), "controls busy") != host.events.end();
}

// ---- Firmware files, against the in-process radio ---------------------------

class BadFirmwareFile : public ::testing::Test {
 protected:
  int Run(const std::string& path_text) {
    host.path = path_text;
    const int result = DownloadWorker(host, clock);
    ExpectCleanEnd(host, host.port);
    return result;
  }
  // The job ended before the radio was touched, having said only text.
  void ExpectRefusedWith(TextId text) {
    EXPECT_EQ(host.messages, std::vector<std::string>{T(text)});
    EXPECT_TRUE(radio.received.empty());
    EXPECT_EQ(host.port.opens, 0);
    EXPECT_FALSE(ControlsEverBusy(host));
  }

  TempWorkdir workdir;
  FakeClock clock;
  FakeHost host{clock};
  FakeRadio radio{host.port};
};

TEST_F(BadFirmwareFile, PathToNothingIsAMissingFile) {
  for (const std::string& path : {std::string(), std::string("  \t "), workdir.File("absent.BIN"),
                                  workdir.File("no/such/dir/fw.BIN")}) {
    SCOPED_TRACE("path \"" + path + "\"");
    host.messages.clear();
    host.events.clear();
    EXPECT_EQ(Run(path), 1);
    ExpectRefusedWith(text::kFileMissing);
  }
}

TEST_F(BadFirmwareFile, FileWithoutAWholeRecordIsRefused) {
  // Empty, two bytes, and one byte short of header plus one record.
  for (std::size_t size : {0u, 2u, 168u}) {
    SCOPED_TRACE(std::to_string(size) + " bytes");
    testing::WriteFile(workdir.File("short.BIN"), std::vector<std::uint8_t>(size, 0x5A));
    host.messages.clear();
    host.events.clear();
    EXPECT_EQ(Run(workdir.File("short.BIN")), 1);
    ExpectRefusedWith(text::kFileUnreadable);
  }
}

TEST_F(BadFirmwareFile, PartialLastRecordIsLeftOut) {
  for (int trailing : {0, 1, 132}) {
    SCOPED_TRACE(std::to_string(trailing) + " bytes after the last record");
    testing::WriteFile(workdir.File("fw.BIN"), testing::MakeImage(2, 0, trailing));
    FakeClock job_clock;
    FakeHost job_host{job_clock};
    FakeRadio job_radio{job_host.port};
    job_host.path = workdir.File("fw.BIN");
    EXPECT_EQ(DownloadWorker(job_host, job_clock), 0);
    EXPECT_EQ(job_host.messages, std::vector<std::string>{T(text::kDownloadComplete)});
    EXPECT_EQ(job_radio.records, 2);
    ExpectCleanEnd(job_host, job_host.port);
  }
}

TEST_F(BadFirmwareFile, SomethingThatOpensButIsNoFileSays2011) {
  // A directory and a device open like files but hold no firmware.
  for (const std::string& path : {workdir.path(), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    host.messages.clear();
    host.events.clear();
    EXPECT_EQ(Run(path), 1);
    ExpectRefusedWith(text::kFileUnreadable);
  }
}

TEST_F(BadFirmwareFile, FileWithoutReadPermissionCannotBeOpened) {
  // 6007 says the file does not exist or cannot be opened; root would open
  // it all the same, so the job runs as nobody then.
  const std::string locked = workdir.File("locked.BIN");
  testing::WriteFile(locked, testing::MakeImage(2));
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  ASSERT_EQ(chmod(workdir.path().c_str(), 0755), 0);  // the language file stays readable
  const std::optional<std::string> shown = testing::RunUnprivileged([&] {
    FakeClock child_clock;
    FakeHost child_host{child_clock};
    FakeRadio child_radio{child_host.port};
    child_host.path = locked;
    DownloadWorker(child_host, child_clock);
    std::string result;
    for (const std::string& message : child_host.messages) result += message + "|";
    return result + (child_radio.received.empty() ? "" : "sent to the radio");
  });
  if (!shown) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_EQ(*shown, T(text::kFileMissing) + "|");
}

TEST_F(BadFirmwareFile, NamedPipeNeverHoldsTheJob) {
  const std::string pipe = workdir.File("pipe.BIN");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  host.path = pipe;
  auto job = std::async(std::launch::async, [&] { return DownloadWorker(host, clock); });
  // Opening a pipe for reading waits for a writer, for ever if none comes. A
  // job that does so is freed by a writer that opens and closes at once.
  const bool held = job.wait_for(20s) != std::future_status::ready;
  while (job.wait_for(10ms) != std::future_status::ready) {
    const int writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) close(writer);
  }
  EXPECT_FALSE(held) << "the job waited for a writer to the pipe";
  EXPECT_EQ(job.get(), 1);
  ExpectCleanEnd(host, host.port);
  ExpectRefusedWith(text::kFileUnreadable);
}

TEST_F(BadFirmwareFile, PathWithBlanksAndNonAsciiCharacters) {
  const std::string directory = workdir.File("x y \xE5\x9B\xBA\xE4\xBB\xB6");  // "x y 固件"
  std::filesystem::create_directory(directory);
  const std::string path = directory + "/\xE5\x9B\xBA\xE4\xBB\xB6 v2.BIN";  // "固件 v2.BIN"
  testing::WriteFile(path, testing::MakeImage(3));
  EXPECT_EQ(Run("  " + path + "  "), 0);  // blanks around the text are trimmed, inner ones kept
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kDownloadComplete)});
  EXPECT_EQ(radio.records, 3);
}

TEST(BadFirmwareFileSize, SixtyFourMebibytesLoadWhole) {
  TempWorkdir workdir;
  const std::string path = workdir.File("huge.BIN");
  constexpr off_t kSize = 64 << 20;
  {
    // Sparse: all zeros, written in no time.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, kSize), 0);
    ASSERT_EQ(pwrite(fd, "\xAB", 1, kSize - 1), 1);
    close(fd);
  }
  ImageText image;
  ASSERT_EQ(LoadFirmwareImage(path, image), kSize);
  ASSERT_EQ(image->size(), static_cast<std::size_t>(2 * kSize));
  EXPECT_EQ(image->substr(0, 4), "0000");
  EXPECT_EQ(image->substr(image->size() - 4), "00AB");
  EXPECT_EQ(RecordCount(*image), (2 * kSize - kHeaderChars) / kRecordChars);
  image.reset();
  LoadFirmwareImage(workdir.File("absent"), image);  // lets the 128 MB go
}

// ---- Serial ports, through a real CMSComm -----------------------------------

class BadPort : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteFile(firmware, testing::MakeImage(2)); }

  // Runs one job on a thread of its own, as the window does; a job that does
  // not end at all fails the test instead of hanging it.
  int RunJob(PortHost& host) {
    host.path = firmware;
    auto job = std::async(std::launch::async, [&] { return DownloadWorker(host); });
    if (job.wait_for(60s) != std::future_status::ready) {
      std::fprintf(stderr, "the job hangs\n");
      std::abort();
    }
    const int result = job.get();
    ExpectCleanEnd(host, host.comm);
    return result;
  }

  TempWorkdir workdir;
  std::string firmware = workdir.File("fw.BIN");
};

TEST_F(BadPort, DeviceThatDoesNotExistIsNamed) {
  PortHost host("/dev/ttyUSB-vexo-missing");
  EXPECT_EQ(RunJob(host), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  const std::string reason = "/dev/ttyUSB-vexo-missing: " + std::string(std::strerror(ENOENT));
  EXPECT_EQ(host.messages[0].rfind(T(text::kPortOpenFailed) + "\n" + reason, 0), 0u)
      << host.messages[0];
}

TEST_F(BadPort, DeviceHeldByAnotherProgramIsBusy) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  CMSComm other_program;
  other_program.SetDevicePath(pty.SlavePath());
  ASSERT_TRUE(other_program.Open(0, 9600).ok());

  PortHost host(pty.SlavePath());
  EXPECT_EQ(RunJob(host), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].rfind(T(text::kPortOpenFailed) + "\n", 0), 0u);
  EXPECT_NE(host.messages[0].find(pty.SlavePath() + ": " + std::strerror(EBUSY)), std::string::npos)
      << host.messages[0];
  EXPECT_TRUE(other_program.PortOpen());  // the other program keeps its port
}

TEST_F(BadPort, DeviceWithoutPermissionIsRefusedWithTheReason) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  // Out of reach of the unprivileged child: nobody is not the owner when the
  // test runs as root, and the owner has no rights left otherwise.
  ASSERT_EQ(chmod(pty.SlavePath().c_str(), geteuid() == 0 ? 0600 : 0), 0);
  ASSERT_EQ(chmod(workdir.path().c_str(), 0755), 0);
  const std::optional<std::string> shown = testing::RunUnprivileged([&] {
    PortHost host(pty.SlavePath());
    host.path = firmware;
    DownloadWorker(host);
    std::string result;
    for (const std::string& message : host.messages) result += message + "|";
    return result;
  });
  if (!shown) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_EQ(shown->rfind(T(text::kPortOpenFailed) + "\n", 0), 0u) << *shown;
  EXPECT_NE(shown->find(pty.SlavePath() + ": " + std::strerror(EACCES)), std::string::npos)
      << *shown;
  EXPECT_EQ(std::count(shown->begin(), shown->end(), '|'), 1) << *shown;
}

// The far end of the line: answers the handshake as a boot loader does, then
// pulls the cable (closes the master) when the erase command comes.
void BootLoaderThenUnplug(PtyPair& pty) {
  struct Step {
    std::size_t request_bytes;
    std::string reply_hex;  // "echo": the request itself
  };
  const Step steps[] = {
      {7, "06"},                               // probe A
      {7, "06"},                               // probe B
      {7, "06"},                               // FIRMWAR
      {7, "16"},                               // DOWNING
      {1, "5452424C30313030"},                 // identity
      {7, TextToHex("BPS") + TextToHex("3")},  // BPSSET3 (57600)
      {129, "echo"},                           // echo test
  };
  for (const Step& step : steps) {
    const std::vector<std::uint8_t> request = pty.Read(step.request_bytes);
    if (request.size() != step.request_bytes) return;
    std::vector<std::uint8_t> reply;
    if (step.reply_hex == "echo") {
      reply = request;
    } else {
      HexToBytes(step.reply_hex, reply);
    }
    if (!pty.Write(reply)) return;
  }
  if (pty.Read(4) == std::vector<std::uint8_t>{'D', 'A', 'L', 'L'}) pty.CloseMaster();
}

TEST_F(BadPort, UnpluggedWhileTheJobWaitsEndsTheJob) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  PortHost host(pty.SlavePath());
  std::thread far_end(BootLoaderThenUnplug, std::ref(pty));
  const int result = RunJob(host);
  far_end.join();

  EXPECT_EQ(result, 1);
  EXPECT_EQ(host.messages, std::vector<std::string>{T(text::kNoReplyInTime)});
  EXPECT_NE(host.log.text.find("S:44 41 4C 4C \r\n"), std::string::npos) << "erase never sent";
}

}  // namespace
}  // namespace vexo
