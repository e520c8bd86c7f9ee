#include "link/cmscomm.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/link/pty_pair.h"

namespace vexo {
namespace {

using namespace std::chrono_literals;
using testing::PtyPair;

// ---- ParseSettings ---------------------------------------------------------

TEST(ParseSettingsTest, AcceptsWellFormedTexts) {
  const auto plain = ParseSettings("9600,n,8,1");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->baud, 9600);
  EXPECT_EQ(plain->parity, Parity::none);
  EXPECT_EQ(plain->data_bits, 8);
  EXPECT_EQ(plain->stop_bits, 1);

  const auto upper = ParseSettings("115200,N,8,1");
  ASSERT_TRUE(upper);
  EXPECT_EQ(upper->baud, 115200);

  const auto seven = ParseSettings("4800,e,7,2");
  ASSERT_TRUE(seven);
  EXPECT_EQ(seven->parity, Parity::even);
  EXPECT_EQ(seven->data_bits, 7);
  EXPECT_EQ(seven->stop_bits, 2);

  EXPECT_EQ(ParseSettings("50,O,5,1")->parity, Parity::odd);
  EXPECT_EQ(ParseSettings("4000000,n,8,1")->baud, 4000000);
}

TEST(ParseSettingsTest, RejectsEverythingElse) {
  for (const char* text : {"",
                           "9600",
                           "9600,n,8",
                           "abc,n,8,1",
                           "9600,x,8,1",
                           "9600,n,9,1",
                           "9600,n,4,1",
                           "9600,n,8,3",
                           "9600,n,8,0",
                           "12345,n,8,1",
                           "0,n,8,1",
                           "-9600,n,8,1",
                           "+9600,n,8,1",
                           "9600,n,8,1,",
                           "9600,n,8,1x",
                           "9600,n,8,1 ",
                           " 9600,n,8,1",
                           "9600,,8,1",
                           "9600,nn,8,1",
                           "9600,n,08,1",
                           "9600,n,8,1.5",
                           "99999999999999999999,n,8,1",
                           ",,,",
                           "9600;n;8;1"}) {
    EXPECT_FALSE(ParseSettings(text)) << '"' << text << '"';
  }
  EXPECT_FALSE(ParseSettings(std::string_view("9600,n,8,1\0", 11)));
}

// ---- CMSComm over a pseudo-terminal ------------------------------------------

class CMSCommTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok()) << "no pseudo-terminal available";
    comm.SetDevicePath(pty.SlavePath());
  }

  void Open() {
    const PortStatus status = comm.Open(/*comm_port=*/0, 9600);
    ASSERT_TRUE(status.ok()) << status.reason;
  }

  // The rate the slave's line is set to, as the kernel reports it.
  speed_t SlaveRate() {
    const std::optional<termios> tio = pty.SlaveSettings();
    return tio ? cfgetospeed(&*tio) : B0;
  }

  PtyPair pty;
  CMSComm comm;
};

TEST_F(CMSCommTest, OpensRawAndClosesIdempotently) {
  EXPECT_FALSE(comm.PortOpen());
  Open();
  EXPECT_TRUE(comm.PortOpen());
  EXPECT_EQ(comm.DevicePath(), pty.SlavePath());
  EXPECT_TRUE(comm.Open(0, 115200).ok());  // already open: nothing happens

  const std::optional<termios> tio = pty.SlaveSettings();
  ASSERT_TRUE(tio);
  EXPECT_EQ(tio->c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio->c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio->c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_EQ(cfgetospeed(&*tio), static_cast<speed_t>(B9600));

  comm.Close();
  EXPECT_FALSE(comm.PortOpen());
  comm.Close();
  Open();  // and again after closing
}

TEST_F(CMSCommTest, ClosingPutsBackTheLineAsItWasFound) {
  const std::optional<termios> before = pty.SlaveSettings();
  ASSERT_TRUE(before);
  ASSERT_NE(before->c_lflag & (ICANON | ECHO), 0u);  // a terminal as a user has it
  Open();
  ASSERT_TRUE(comm.SetRate(115200).ok());
  comm.Close();
  const std::optional<termios> after = pty.SlaveSettings();
  ASSERT_TRUE(after);
  EXPECT_EQ(after->c_lflag, before->c_lflag);
  EXPECT_EQ(after->c_iflag, before->c_iflag);
  EXPECT_EQ(cfgetospeed(&*after), cfgetospeed(&*before));
}

TEST_F(CMSCommTest, AbortFromAnotherThreadEndsAWaitAndEveryLaterCall) {
  Open();
  WaitResult waited = WaitResult::timed_out;
  std::thread job([&] { waited = comm.WaitForBytes(10, 60s); });
  std::this_thread::sleep_for(20ms);
  comm.Abort();
  job.join();
  EXPECT_EQ(waited, WaitResult::failed);
  const std::uint8_t byte = 0x55;
  EXPECT_FALSE(comm.Output(std::span(&byte, 1)).ok());
  comm.Close();
  EXPECT_FALSE(comm.Open(0, 9600).ok());
}

TEST_F(CMSCommTest, SettingsOnAnOpenPortChangeTheRateAtOnce) {
  Open();
  EXPECT_TRUE(comm.SetRate(57600).ok());
  EXPECT_EQ(SlaveRate(), static_cast<speed_t>(B57600));
  EXPECT_TRUE(comm.SetSettings("4800,e,7,2").ok());
  EXPECT_EQ(SlaveRate(), static_cast<speed_t>(B4800));
  // A pseudo-terminal forces 8 bits without parity; the stop bits show.
  EXPECT_NE(pty.SlaveSettings()->c_cflag & CSTOPB, 0u);

  const PortStatus bad = comm.SetSettings("12345,n,8,1");
  EXPECT_EQ(bad.error, PortError::bad_settings);
  EXPECT_EQ(SlaveRate(), static_cast<speed_t>(B4800));  // a refused text leaves the line alone
  EXPECT_EQ(comm.SetRate(12345).error, PortError::bad_settings);
  EXPECT_TRUE(comm.SetRate(9600).ok());  // back to 8-n-1
  EXPECT_EQ(pty.SlaveSettings()->c_cflag & CSTOPB, 0u);
}

TEST_F(CMSCommTest, OpensAtTheRateGiven) {
  ASSERT_TRUE(comm.SetSettings("4800,e,7,2").ok());
  ASSERT_TRUE(comm.Open(0, 115200).ok());
  EXPECT_EQ(SlaveRate(), static_cast<speed_t>(B115200));
  EXPECT_EQ(pty.SlaveSettings()->c_cflag & CSTOPB, 0u);
}

TEST_F(CMSCommTest, InputReturnsWhatIsWaitingInOrder) {
  Open();
  EXPECT_EQ(comm.InBufferCount(), 0);
  EXPECT_TRUE(comm.Input().empty());

  ASSERT_TRUE(pty.Write({0x01, 0x02, 0x03}));
  ASSERT_EQ(comm.WaitForInput(2s), WaitResult::input_waiting);
  // The pty hands bytes over asynchronously; wait for all three.
  for (int i = 0; i < 200 && comm.InBufferCount() < 3; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(comm.InBufferCount(), 3);
  EXPECT_EQ(comm.Input(), (std::vector<std::uint8_t>{0x01, 0x02, 0x03}));
  EXPECT_EQ(comm.InBufferCount(), 0);

  ASSERT_TRUE(pty.Write({0x0D, 0x0A}));  // raw: no CR/LF translation
  ASSERT_EQ(comm.WaitForInput(2s), WaitResult::input_waiting);
  for (int i = 0; i < 200 && comm.InBufferCount() < 2; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(comm.Input(1), (std::vector<std::uint8_t>{0x0D}));
  EXPECT_EQ(comm.Input(), (std::vector<std::uint8_t>{0x0A}));
}

TEST_F(CMSCommTest, LargeOutputArrivesWhole) {
  Open();
  std::vector<std::uint8_t> sent(64 * 1024);
  for (std::size_t i = 0; i < sent.size(); ++i)
    sent[i] = static_cast<std::uint8_t>(i * 7 + i / 256);

  std::vector<std::uint8_t> received;
  std::thread drain([&] { received = pty.Read(sent.size()); });
  const PortStatus status = comm.Output(sent);
  drain.join();
  EXPECT_TRUE(status.ok()) << status.reason;
  EXPECT_EQ(received, sent);
}

TEST_F(CMSCommTest, WaitTimesOutOnSilence) {
  Open();
  EXPECT_EQ(comm.WaitForInput(20ms), WaitResult::timed_out);
  EXPECT_EQ(comm.WaitForInput(0ms), WaitResult::timed_out);
  EXPECT_EQ(comm.WaitForInput(-5ms), WaitResult::timed_out);
}

TEST_F(CMSCommTest, FarEndClosingEndsTheWaitAndLaterCallsFail) {
  Open();
  std::thread pull([&] {
    std::this_thread::sleep_for(20ms);
    pty.CloseMaster();
  });
  const WaitResult result = comm.WaitForInput(10s);
  pull.join();
  EXPECT_EQ(result, WaitResult::failed);

  EXPECT_TRUE(comm.PortOpen());  // until the caller closes it
  EXPECT_EQ(comm.InBufferCount(), 0);
  EXPECT_TRUE(comm.Input().empty());
  EXPECT_EQ(comm.WaitForInput(10s), WaitResult::failed);
  const std::uint8_t byte = 0x55;
  EXPECT_FALSE(comm.Output({&byte, 1}).ok());
  EXPECT_FALSE(comm.SetSettings("9600,n,8,1").ok());

  comm.Close();
  EXPECT_FALSE(comm.PortOpen());
}

TEST_F(CMSCommTest, OutputAfterTheFarEndClosedFails) {
  Open();
  pty.CloseMaster();
  const std::vector<std::uint8_t> bytes(16, 0x42);
  EXPECT_FALSE(comm.Output(bytes).ok());
}

TEST_F(CMSCommTest, ClosedPortRefusesWork) {
  EXPECT_EQ(comm.InBufferCount(), 0);
  EXPECT_TRUE(comm.Input().empty());
  EXPECT_EQ(comm.WaitForInput(10s), WaitResult::failed);
  const std::uint8_t byte = 0x55;
  EXPECT_EQ(comm.Output({&byte, 1}).error, PortError::not_open);
}

TEST_F(CMSCommTest, SecondOpenerIsToldTheDeviceIsBusy) {
  Open();
  CMSComm other;
  other.SetDevicePath(pty.SlavePath());
  const PortStatus status = other.Open(0, 9600);
  EXPECT_EQ(status.error, PortError::busy);
  EXPECT_NE(status.reason.find("in use by another program"), std::string::npos) << status.reason;
  EXPECT_FALSE(other.PortOpen());

  comm.Close();
  EXPECT_TRUE(other.Open(0, 9600).ok());  // released on closing
}

// ---- Open failures -----------------------------------------------------------

TEST(CMSCommOpenTest, MissingDeviceIsNotFound) {
  CMSComm comm;
  comm.SetDevicePath("/dev/ttyUSB-vexo-missing");
  const PortStatus status = comm.Open(0, 9600);
  EXPECT_EQ(status.error, PortError::not_found);
  EXPECT_NE(status.reason.find("/dev/ttyUSB-vexo-missing"), std::string::npos);
  EXPECT_NE(status.reason.find("plugged in"), std::string::npos);
  EXPECT_FALSE(comm.PortOpen());
}

TEST(CMSCommOpenTest, UnreadableDeviceNamesTheGroup) {
  if (geteuid() == 0) GTEST_SKIP() << "root opens any file";
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("vexo-locked-" + std::to_string(getpid()));
  std::ofstream(file).put('x');
  ASSERT_EQ(chmod(file.c_str(), 0), 0);
  CMSComm comm;
  comm.SetDevicePath(file.string());
  const PortStatus status = comm.Open(0, 9600);
  std::filesystem::remove(file);
  EXPECT_EQ(status.error, PortError::permission_denied);
  EXPECT_NE(status.reason.find("sudo usermod -aG "), std::string::npos) << status.reason;
}

TEST(CMSCommOpenTest, PortNumberWithoutDeviceIsNoSuchPort) {
  CMSComm comm;
  const PortStatus status = comm.Open(/*comm_port=*/0, 9600);  // what an empty port list gives
  EXPECT_EQ(status.error, PortError::no_such_port);
  EXPECT_NE(status.reason.find("COM0"), std::string::npos) << status.reason;
  EXPECT_FALSE(comm.PortOpen());
}

TEST(CMSCommOpenTest, FileThatIsNoTerminalIsRefused) {
  CMSComm comm;
  comm.SetDevicePath("/dev/null");
  const PortStatus status = comm.Open(0, 9600);
  EXPECT_FALSE(status.ok());
  EXPECT_FALSE(comm.PortOpen());
}

}  // namespace
}  // namespace vexo
