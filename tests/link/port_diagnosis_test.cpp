#include "link/port_diagnosis.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "link/cmscomm.h"
#include "tests/link/pty_pair.h"
#include "tests/support/temp_workdir.h"

namespace vexo {
namespace {

namespace fs = std::filesystem;

::testing::AssertionResult Has(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}

std::string Joined(const std::vector<std::string>& hints) {
  std::string text;
  for (const std::string& hint : hints) text += hint + "\n";
  return text;
}

// A fake /dev, /sys and /proc. Devices are plain files; a process holds one
// when a link in its fd directory points at it, as in the kernel's /proc.
class PortDiagnosisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context.paths.dev = (root / "dev").string();
    context.paths.sys = (root / "sys").string();
    context.proc = (root / "proc").string();
    for (const char* dir : {"dev", "sys/class/tty", "sys/bus/usb/devices", "proc"}) {
      fs::create_directories(root / dir);
    }
  }

  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }

  // A device node with its tty class entry, so that it counts as present.
  std::string AddDevice(const std::string& name, mode_t mode = 0660) {
    const fs::path node = root / "dev" / name;
    Write(node, "");
    chmod(node.c_str(), mode);
    fs::create_directories(root / "sys/class/tty" / name / "device");
    return node.string();
  }

  void AddProcess(int pid, const std::string& name, const std::vector<std::string>& open_files) {
    const fs::path dir = root / "proc" / std::to_string(pid);
    Write(dir / "comm", name + "\n");
    fs::create_directories(dir / "fd");
    int fd = 3;
    for (const std::string& file : open_files) {
      fs::create_symlink(file, dir / "fd" / std::to_string(fd++));
    }
  }

  // A USB device below /sys/devices, listed in /sys/bus/usb/devices as the
  // kernel does; its one interface is bound to driver unless that is empty.
  void AddUsbDevice(const std::string& name, const std::string& vid, const std::string& pid,
                    const std::string& driver) {
    const fs::path device = root / "sys/devices/pci0000:00/usb1" / name;
    Write(device / "idVendor", vid + "\n");
    Write(device / "idProduct", pid + "\n");
    const fs::path interface = device / (name + ":1.0");
    fs::create_directories(interface);
    if (!driver.empty()) {
      const fs::path driver_dir = root / "sys/bus/usb/drivers" / driver;
      fs::create_directories(driver_dir);
      fs::create_directory_symlink(driver_dir, interface / "driver");
    }
    fs::create_directory_symlink(device, root / "sys/bus/usb/devices" / name);
  }

  testing::TempWorkdir workdir{false};
  fs::path root{workdir.path()};
  DiagnosisContext context;
};

// ---- No access ----------------------------------------------------------------

TEST_F(PortDiagnosisTest, NoAccessTellsWhatTheUserCanDoAboutIt) {
  struct Case {
    const char* what;
    mode_t mode;
    bool owner;        // the user owns the device
    bool in_session;   // the device's group is among the session's groups
    bool in_database;  // ... among the groups the database gives the user
    const char* expected;
  };
  const Case cases[] = {
      {"not in the group", 0660, false, false, false,
       "', which you are not in: run 'sudo usermod -aG "},
      {"joined, not logged in again", 0660, false, false, true,
       "log out and back in (or, in a terminal, run 'newgrp "},
      {"group may not open it", 0600, false, false, false,
       "(mode 0600): install the udev rule 60-vexo-serial.rules"},
      {"group may, user is in it", 0660, false, true, true, "a sandbox (snap, flatpak)"},
      {"owner may, user owns it", 0600, true, false, false, "a sandbox (snap, flatpak)"},
  };
  const std::string device = AddDevice("ttyUSB0");
  struct stat info {};
  ASSERT_EQ(stat(device.c_str(), &info), 0);
  const std::string group =
      getgrgid(info.st_gid) ? getgrgid(info.st_gid)->gr_name : std::to_string(info.st_gid);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    chmod(device.c_str(), c.mode);
    UserIdentity user;
    user.uid = c.owner ? info.st_uid : info.st_uid + 1000;
    if (c.in_session) user.session_groups = {info.st_gid};
    if (c.in_database) user.database_groups = {info.st_gid};
    context.user = user;
    const std::string text = Joined(OpenFailureHints(device, EACCES, context));
    EXPECT_TRUE(Has(text, c.expected));
    if (c.mode == 0660 && !c.in_session) {
      EXPECT_TRUE(Has(text, "'" + group + "'"));
    }
  }
}

// ---- Held by another program ---------------------------------------------------

TEST_F(PortDiagnosisTest, BusyDeviceNamesEveryProgramHoldingIt) {
  const std::string device = AddDevice("ttyUSB0");
  const std::string other = AddDevice("ttyUSB1");
  AddProcess(812, "minicom", {other, device});
  AddProcess(77, "bash", {other});
  AddProcess(1203, "screen", {device});
  const std::string text = Joined(OpenFailureHints(device, EBUSY, context));
  EXPECT_TRUE(Has(text, device + " is in use by another program: minicom (pid 812), "
                                 "screen (pid 1203). Close it"));
  EXPECT_FALSE(Has(text, "bash"));
  EXPECT_FALSE(Has(text, "ModemManager"));
}

TEST_F(PortDiagnosisTest, BusyDeviceWithoutAVisibleHolderPointsToFuser) {
  const std::string device = AddDevice("ttyUSB0");
  AddProcess(5, "bash", {});
  EXPECT_TRUE(Has(Joined(OpenFailureHints(device, EWOULDBLOCK, context)),
                  "'sudo fuser -v " + device + "' names it"));
}

// ---- ModemManager ---------------------------------------------------------------

TEST_F(PortDiagnosisTest, ModemManagerIsBlamedForAcmDevicesAndForWhatItHolds) {
  const std::string acm = AddDevice("ttyACM0");
  const std::string usb = AddDevice("ttyUSB0");
  AddProcess(400, "ModemManager", {acm});
  context.user = UserIdentity{getuid() + 1000, {}, {}};

  const std::string busy = Joined(OpenFailureHints(acm, EBUSY, context));
  EXPECT_TRUE(Has(busy, "in use by another program: ModemManager (pid 400)"));
  EXPECT_TRUE(Has(busy, "ID_MM_DEVICE_IGNORE"));
  EXPECT_TRUE(Has(busy, "sudo systemctl stop ModemManager"));

  // It probes ttyACM devices even when this open failed for another reason.
  EXPECT_TRUE(Has(Joined(OpenFailureHints(acm, EACCES, context)), "ID_MM_DEVICE_IGNORE"));
  // A converter it does not hold is none of its business.
  EXPECT_FALSE(Has(Joined(OpenFailureHints(usb, EACCES, context)), "ModemManager"));
}

// ---- No device -------------------------------------------------------------------

TEST_F(PortDiagnosisTest, NoDeviceAtAllAsksForTheCable) {
  const std::vector<std::string> hints = MissingDeviceHints(context);
  ASSERT_EQ(hints.size(), 1u);
  EXPECT_TRUE(Has(hints[0], "No serial device found: plug in the radio's programming cable"));
}

TEST_F(PortDiagnosisTest, BrlttyIsNamedWhenAnAdapterHasNoSerialDevice) {
  AddProcess(90, "brltty", {});
  AddUsbDevice("1-2", "1a86", "7523", "");
  const std::string text = Joined(MissingDeviceHints(context));
  EXPECT_TRUE(Has(text, "No serial device found"));
  EXPECT_TRUE(Has(text,
                  "A WCH CH340 USB-serial adapter (1a86:7523) is plugged in but has "
                  "no serial device: brltty has probably taken it"));
  EXPECT_TRUE(Has(text, "sudo apt remove brltty"));
}

TEST_F(PortDiagnosisTest, AdapterWithoutSerialDeviceGetsItsCauseWithoutBrltty) {
  AddUsbDevice("1-1", "0403", "6001", "usbfs");
  AddUsbDevice("1-2", "10c4", "ea60", "");
  AddUsbDevice("1-3", "046d", "c52b", "");  // a mouse receiver: not a cable
  const std::string text = Joined(MissingDeviceHints(context));
  EXPECT_TRUE(Has(text,
                  "(0403:6001) is plugged in but has no serial device: a program has "
                  "claimed it through usbfs"));
  EXPECT_TRUE(Has(text,
                  "(10c4:ea60) is plugged in but has no serial device: no driver took "
                  "it; 'sudo dmesg | tail'"));
  EXPECT_FALSE(Has(text, "046d"));
  EXPECT_FALSE(Has(text, "brltty"));
}

TEST_F(PortDiagnosisTest, WorkingAdapterAndIdleBrlttyGiveNoHints) {
  AddDevice("ttyUSB0");
  AddUsbDevice("1-1", "1a86", "7523", "ch341");
  AddProcess(90, "brltty", {});
  EXPECT_TRUE(MissingDeviceHints(context).empty());
}

TEST_F(PortDiagnosisTest, VanishedDeviceAsksForTheCableAndLooksForAdapters) {
  AddProcess(90, "brltty", {});
  const std::string gone = (root / "dev/ttyUSB1").string();
  std::string text = Joined(OpenFailureHints(gone, ENOENT, context));
  EXPECT_FALSE(Has(text, "No such device"));  // said by the next line already
  EXPECT_TRUE(Has(text, "No serial device found: plug in"));
  EXPECT_TRUE(Has(text, "sudo apt remove brltty"));

  AddDevice("ttyUSB0");
  AddUsbDevice("1-2", "1a86", "7523", "");
  text = Joined(OpenFailureHints(gone, ENOENT, context));
  EXPECT_TRUE(Has(text, "No such device: is the cable plugged in?"));
  EXPECT_FALSE(Has(text, "No serial device found"));
  EXPECT_TRUE(Has(text, "(1a86:7523) is plugged in but has no serial device: brltty"));
}

// ---- The real thing: a pseudo-terminal opened through CMSComm --------------------

struct ChildResult {
  PortError error = PortError::none;
  std::string reason;
};

// Opens device through CMSComm as user and group 65534 with no other groups,
// in a child process so the test process keeps its rights.
ChildResult OpenAsNobody(const std::string& device) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return {PortError::io_error, "no pipe"};
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    constexpr uid_t kNobody = 65534;
    if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
        setresuid(kNobody, kNobody, kNobody) != 0) {
      _exit(2);
    }
    CMSComm port;
    port.SetDevicePath(device);
    const PortStatus status = port.Open(0, 9600);
    const std::string message =
        std::to_string(static_cast<int>(status.error)) + "\n" + status.reason;
    const ssize_t written = write(pipe_fds[1], message.data(), message.size());
    _exit(written == static_cast<ssize_t>(message.size()) ? 0 : 3);
  }
  close(pipe_fds[1]);
  std::string message;
  char buffer[512];
  for (ssize_t got; (got = read(pipe_fds[0], buffer, sizeof buffer)) > 0;)
    message.append(buffer, got);
  close(pipe_fds[0]);
  int wait_status = 0;
  waitpid(child, &wait_status, 0);
  if (!WIFEXITED(wait_status) || WEXITSTATUS(wait_status) != 0)
    return {PortError::io_error, "child failed"};
  const std::size_t newline = message.find('\n');
  return {static_cast<PortError>(std::stoi(message.substr(0, newline))),
          message.substr(newline + 1)};
}

TEST(PortDiagnosisPtyTest, UnprivilegedUserIsToldToJoinTheDevicesGroup) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the pseudo-terminal to another user";
  testing::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  const group* dialout = getgrnam("dialout");
  const gid_t gid = dialout != nullptr ? dialout->gr_gid : 20;
  const std::string group = dialout != nullptr ? "dialout" : "20";
  ASSERT_EQ(chown(pty.SlavePath().c_str(), 0, gid), 0);

  ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0660), 0);
  ChildResult result = OpenAsNobody(pty.SlavePath());
  EXPECT_EQ(result.error, PortError::permission_denied) << result.reason;
  EXPECT_TRUE(Has(result.reason, pty.SlavePath() + ": Permission denied\n"));
  EXPECT_TRUE(Has(result.reason, pty.SlavePath() + " belongs to group '" + group +
                                     "', which you are not in: run 'sudo usermod -aG " + group +
                                     " $USER', then log out and back in."));

  ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0600), 0);
  result = OpenAsNobody(pty.SlavePath());
  EXPECT_EQ(result.error, PortError::permission_denied) << result.reason;
  EXPECT_TRUE(Has(result.reason, "Only root may open " + pty.SlavePath() + " (mode 0600)"));
}

TEST(PortDiagnosisPtyTest, SecondOpenerIsToldWhichProgramHoldsThePort) {
  testing::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  CMSComm first;
  first.SetDevicePath(pty.SlavePath());
  ASSERT_TRUE(first.Open(0, 9600).ok());

  CMSComm second;
  second.SetDevicePath(pty.SlavePath());
  const PortStatus status = second.Open(0, 9600);
  std::string self;
  std::getline(std::ifstream("/proc/self/comm"), self);
  EXPECT_EQ(status.error, PortError::busy);
  EXPECT_TRUE(Has(status.reason, "in use by another program: " + self + " (pid " +
                                     std::to_string(getpid()) + ")"));
}

}  // namespace
}  // namespace vexo
