#include "link/setup_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/link/pty_pair.h"
#include "tests/support/temp_workdir.h"

namespace vexo {
namespace {

namespace fs = std::filesystem;

std::string Listing(const std::vector<CheckLine>& lines) {
  std::string text;
  for (const CheckLine& line : lines) text += FormatCheckLine(line) + "\n";
  return text;
}

::testing::AssertionResult HasLine(const std::vector<CheckLine>& lines, const std::string& start) {
  for (const CheckLine& line : lines) {
    if (FormatCheckLine(line).rfind(start, 0) == 0) return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "no line starts with \"" << start << "\" in:\n"
                                       << Listing(lines);
}

// A fake system below a scratch folder: /dev entries are links to a
// pseudo-terminal (so the port really opens) or plain files; /sys as the
// kernel lays out an FTDI adapter; /proc, udev's database and rule folders.
class SetupCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"dev", "sys/class/tty", "sys/bus/usb/devices", "proc", "run/udev/data",
                            "etc/udev/rules.d"}) {
      fs::create_directories(root / dir);
    }
    PlaceUnderRoot(context, root.string());
    context.udev_rule_dirs = {(root / "etc/udev/rules.d").string()};
    context.rates = {9600, 115200, 1200};
    context.diagnosis.user = UserIdentity{getuid(), {getgid()}, {getgid()}};
  }

  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }

  // ttyUSB0 of an FT232R with the given latency timer, its node a link to
  // the pseudo-terminal.
  std::string AddFtdiCable(const std::string& latency_ms) {
    const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-1/1-1.2";
    Write(usb / "idVendor", "0403\n");
    Write(usb / "idProduct", "6001\n");
    Write(usb / "product", "FT232R USB UART\n");
    Write(usb / "serial", "A10K1234\n");
    const fs::path port = usb / "1-1.2:1.0/ttyUSB0";
    Write(port / "latency_timer", latency_ms + "\n");
    fs::create_directories(root / "sys/bus/usb-serial/drivers/ftdi_sio");
    fs::create_directory_symlink(root / "sys/bus/usb-serial/drivers/ftdi_sio", port / "driver");
    Write(root / "sys/class/tty/ttyUSB0/dev", "188:0\n");
    fs::create_directory_symlink(port, root / "sys/class/tty/ttyUSB0/device");
    const fs::path node = root / "dev/ttyUSB0";
    fs::create_symlink(pty.SlavePath(), node);
    return node.string();
  }

  void AddProcess(int pid, const std::string& name, const std::string& open_file = {}) {
    const fs::path dir = root / "proc" / std::to_string(pid);
    Write(dir / "comm", name + "\n");
    fs::create_directories(dir / "fd");
    if (!open_file.empty()) fs::create_symlink(open_file, dir / "fd/3");
  }

  testing::TempWorkdir workdir{false};
  fs::path root{workdir.path()};
  testing::PtyPair pty;
  SetupCheckContext context;
};

TEST_F(SetupCheckTest, SlowFtdiCableIsReadyButToldWhatItsLatencyCosts) {
  ASSERT_TRUE(pty.ok());
  AddFtdiCable("16");
  context.latency_cost = [](int ms) { return "costs " + std::to_string(ms) + " ms."; };
  const std::vector<CheckLine> lines = RunSetupChecks(context);

  EXPECT_TRUE(HasLine(lines, "ok      COM1 = " + (root / "dev/ttyUSB0").string() +
                                 ": USB 0403:6001 \"FT232R USB UART\", serial number A10K1234, "
                                 "driver ftdi_sio"));
  EXPECT_TRUE(HasLine(lines, "ok      COM1: no other program holds it"));
  EXPECT_TRUE(HasLine(lines, "ok      COM1: opens and takes 9600, 115200, 1200 baud"));
  EXPECT_TRUE(HasLine(lines,
                      "warning COM1: adapter latency timer 16 ms (VEXO's low-latency request did "
                      "not take) — costs 16 ms. Install the udev rule 60-vexo-serial.rules"));
  EXPECT_TRUE(HasLine(lines, "warning udev rule 60-vexo-serial.rules is not installed — "));
  EXPECT_FALSE(BlocksJob(lines)) << Listing(lines);
}

TEST_F(SetupCheckTest, FastCableModemManagerIgnoreAndInstalledRuleAreAllOk) {
  ASSERT_TRUE(pty.ok());
  AddFtdiCable("1");
  AddProcess(400, "ModemManager");
  Write(root / "run/udev/data/c188:0", "E:ID_SERIAL=FTDI\nE:ID_MM_DEVICE_IGNORE=1\n");
  Write(root / "etc/udev/rules.d/60-vexo-serial.rules", "");
  const std::vector<CheckLine> lines = RunSetupChecks(context);
  EXPECT_TRUE(HasLine(lines, "ok      COM1: adapter latency timer 1 ms"));
  EXPECT_TRUE(HasLine(lines, "ok      COM1: ModemManager is told to leave it alone"));
  EXPECT_TRUE(HasLine(lines, "ok      udev rule 60-vexo-serial.rules is installed"));
  for (const CheckLine& line : lines) EXPECT_EQ(line.verdict, CheckVerdict::ok) << line.what;

  fs::remove(root / "run/udev/data/c188:0");
  EXPECT_TRUE(HasLine(RunSetupChecks(context),
                      "warning COM1: ModemManager is running and may probe it (no "
                      "ID_MM_DEVICE_IGNORE) — ModemManager is running"));
}

// Each of these keeps a job from running, so the check must not pass.
TEST_F(SetupCheckTest, WhatKeepsAJobFromRunningIsAProblem) {
  ASSERT_TRUE(pty.ok());
  {
    SCOPED_TRACE("no serial device");
    const std::vector<CheckLine> lines = RunSetupChecks(context);
    EXPECT_TRUE(HasLine(lines, "problem serial devices: none found — No serial device found"));
    EXPECT_TRUE(BlocksJob(lines));
  }
  const std::string device = AddFtdiCable("1");
  {
    SCOPED_TRACE("another program holds it");
    AddProcess(812, "minicom", device);
    const std::vector<CheckLine> lines = RunSetupChecks(context);
    EXPECT_TRUE(HasLine(lines, "problem COM1: held by minicom (pid 812) — close it"));
    EXPECT_TRUE(BlocksJob(lines));
    fs::remove_all(root / "proc/812");
  }
  {
    SCOPED_TRACE("joined the group, not logged in again");
    // A plain file: the open fails as it would for this user (tests may run
    // as root, whom the mode does not stop).
    fs::remove(device);
    Write(device, "");
    chmod(device.c_str(), 0660);
    struct stat info {};
    ASSERT_EQ(stat(device.c_str(), &info), 0);
    context.diagnosis.user = UserIdentity{info.st_uid + 1000, {}, {info.st_gid}};
    const std::vector<CheckLine> lines = RunSetupChecks(context);
    EXPECT_TRUE(HasLine(lines, "problem COM1: you may not open " + device + " (group "));
    EXPECT_TRUE(HasLine(lines, "problem COM1: does not open: "));
    EXPECT_TRUE(BlocksJob(lines));
  }
  {
    SCOPED_TRACE("the port asked for is not there");
    context.ports = {"COM2"};
    const std::vector<CheckLine> lines = RunSetupChecks(context);
    EXPECT_TRUE(HasLine(lines, "problem COM2: no such serial device — present: COM1 = " + device));
  }
}

TEST_F(SetupCheckTest, DeviceThatIsNoTerminalDoesNotOpenAndProbeIsSkipped) {
  Write(root / "dev/ttyACM0", "");
  fs::create_directories(root / "sys/class/tty/ttyACM0/device");
  bool probed = false;
  context.probe = [&](const std::string&, SerialControl&) {
    probed = true;
    return CheckLine{};
  };
  const std::vector<CheckLine> lines = RunSetupChecks(context);
  EXPECT_TRUE(HasLine(lines, "problem COM1: does not open: "));
  EXPECT_FALSE(probed) << "a port with a problem is not probed";
}

}  // namespace
}  // namespace vexo
