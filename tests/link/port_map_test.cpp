#include "link/port_map.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_workdir.h"

namespace vexo {
namespace {

namespace fs = std::filesystem;

// A fake /dev and /sys laid out like the kernel's: each tty class entry has a
// device link into /sys/devices, USB ttys sit below an interface directory
// below the USB device that holds idVendor, idProduct and product.
class PortMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    paths.dev = (root / "dev").string();
    paths.sys = (root / "sys").string();
    fs::create_directories(paths.dev);
    fs::create_directories(root / "sys/class/tty");
  }

  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }

  // Device node plus class entry whose device link points at device_dir.
  void AddTty(const std::string& name, const fs::path& device_dir) {
    Write(fs::path(paths.dev) / name, "");
    fs::create_directories(device_dir);
    const fs::path class_dir = root / "sys/class/tty" / name;
    fs::create_directories(class_dir);
    fs::create_directory_symlink(device_dir, class_dir / "device");
  }

  void AddUsbTty(const std::string& name, const std::string& usb_device, const std::string& vid,
                 const std::string& pid, const std::string& product) {
    const fs::path usb = root / "sys/devices/pci0000:00/usb1" / usb_device;
    Write(usb / "idVendor", vid + "\n");
    Write(usb / "idProduct", pid + "\n");
    if (!product.empty()) Write(usb / "product", product + "\n");
    AddTty(name, usb / (usb_device + ":1.0") / name);
  }

  // An on-board port: a driver link and the UART type the driver found.
  void AddOnboardTty(const std::string& name, const std::string& type) {
    const fs::path device = root / "sys/devices/platform/serial8250" / name;
    const fs::path driver = root / "sys/bus/platform/drivers/serial8250";
    fs::create_directories(driver);
    AddTty(name, device);
    fs::create_directory_symlink(driver, device / "driver");
    Write(root / "sys/class/tty" / name / "type", type + "\n");
  }

  void WriteOverrides(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string text = "[ports]\n";
    for (const auto& [key, device] : entries) text += key + "=" + device + "\n";
    workdir.Write("system.ini", text);
  }

  std::vector<std::string> Devices(const std::vector<SerialDevice>& list) {
    std::vector<std::string> names;
    for (const SerialDevice& device : list) names.push_back(fs::path(device.device).filename());
    return names;
  }

  testing::TempWorkdir workdir{false};  // holds system.ini and the fake trees
  fs::path root{workdir.path()};
  SystemPaths paths;
};

TEST_F(PortMapTest, OrdersConvertersThenAcmThenOnboardNaturally) {
  AddUsbTty("ttyUSB10", "1-3", "1a86", "7523", "USB Serial");
  AddUsbTty("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART");
  AddUsbTty("ttyUSB2", "1-2", "067b", "2303", "");
  AddUsbTty("ttyACM0", "1-4", "2341", "0043", "Uno");
  AddOnboardTty("ttyS1", "4");
  AddOnboardTty("ttyS0", "4");
  Write(fs::path(paths.dev) / "ttyUSBx", "");  // not a numbered device
  Write(fs::path(paths.dev) / "tty0", "");

  const std::vector<SerialDevice> list = ListSerialDevices(paths);
  EXPECT_EQ(Devices(list), (std::vector<std::string>{"ttyUSB0", "ttyUSB2", "ttyUSB10", "ttyACM0",
                                                     "ttyS0", "ttyS1"}));
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list[0].name, "COM1");
  EXPECT_EQ(list[0].device, paths.dev + "/ttyUSB0");
  EXPECT_EQ(list[0].vid_pid, "0403:6001");
  EXPECT_EQ(list[0].product, "FT232R USB UART");
  EXPECT_EQ(list[1].vid_pid, "067b:2303");
  EXPECT_EQ(list[1].product, "");
  EXPECT_EQ(list[3].product, "Uno");
  EXPECT_EQ(list[5].name, "COM6");
  EXPECT_EQ(list[5].vid_pid, "");  // no USB device above an on-board port
}

// Job records key cables by serial number, else by USB path: both must come
// from the USB device, the driver from the tty's own device.
TEST_F(PortMapTest, UsbCableCarriesSerialNumberDevpathAndDriver) {
  AddUsbTty("ttyUSB0", "1-1.2", "0403", "6001", "FT232R USB UART");
  const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-1.2";
  Write(usb / "serial", "A10K1234\n");
  fs::create_directories(root / "sys/bus/usb-serial/drivers/ftdi_sio");
  fs::create_directory_symlink(root / "sys/bus/usb-serial/drivers/ftdi_sio",
                               usb / "1-1.2:1.0/ttyUSB0/driver");
  AddOnboardTty("ttyS0", "4");

  const std::vector<SerialDevice> list = ListSerialDevices(paths);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].serial, "A10K1234");
  EXPECT_EQ(list[0].devpath, "/devices/pci0000:00/usb1/1-1.2");
  EXPECT_EQ(list[0].driver, "ftdi_sio");
  EXPECT_EQ(list[1].serial, "");
  EXPECT_EQ(list[1].devpath, "");
  EXPECT_EQ(list[1].driver, "serial8250");
}

TEST_F(PortMapTest, PlaceholderOnboardPortsDoNotCount) {
  AddOnboardTty("ttyS0", "4");
  AddOnboardTty("ttyS1", "0");                           // registered, no UART found
  AddTty("ttyS2", root / "sys/devices/platform/ttyS2");  // no driver at all
  Write(fs::path(paths.dev) / "ttyS3", "");              // no sysfs entry
  EXPECT_EQ(Devices(ListSerialDevices(paths)), (std::vector<std::string>{"ttyS0"}));
}

TEST_F(PortMapTest, OneUsbCableIsCom1) {
  AddOnboardTty("ttyS0", "4");
  AddUsbTty("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART");
  EXPECT_EQ(ResolveCommPort(1, paths), paths.dev + "/ttyUSB0");
  EXPECT_EQ(ResolvePortName("com1", paths), paths.dev + "/ttyUSB0");
  EXPECT_EQ(ResolveCommPort(2, paths), paths.dev + "/ttyS0");
  EXPECT_EQ(ResolveCommPort(3, paths), std::nullopt);
  EXPECT_EQ(ResolveCommPort(0, paths), std::nullopt);
  EXPECT_EQ(ResolveCommPort(17, paths), std::nullopt);
}

TEST_F(PortMapTest, EmptySystemHasNoPorts) {
  EXPECT_TRUE(ListSerialDevices(paths).empty());
  EXPECT_TRUE(CommPortMap(paths).empty());
  EXPECT_EQ(ResolvePortName("COM1", paths), std::nullopt);
  SystemPaths missing{(root / "nothing").string(), (root / "nothing").string()};
  EXPECT_TRUE(ListSerialDevices(missing).empty());
}

TEST_F(PortMapTest, SettingsOverridePinsItsNumber) {
  AddUsbTty("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART");
  AddUsbTty("ttyUSB1", "1-2", "067b", "2303", "");
  AddUsbTty("ttyUSB2", "1-3", "1a86", "7523", "");
  WriteOverrides({{"com3", "/dev/whatever"}, {"com1", paths.dev + "/ttyUSB1"}});

  const std::vector<SerialDevice> map = CommPortMap(paths);
  ASSERT_EQ(map.size(), 4u);
  EXPECT_EQ(map[0].name, "COM1");
  EXPECT_EQ(map[0].device, paths.dev + "/ttyUSB1");
  EXPECT_TRUE(map[0].from_settings);
  EXPECT_EQ(map[0].vid_pid, "067b:2303");
  // Devices no override names fill the free numbers in order; none is listed twice.
  EXPECT_EQ(map[1].name, "COM2");
  EXPECT_EQ(map[1].device, paths.dev + "/ttyUSB0");
  EXPECT_FALSE(map[1].from_settings);
  EXPECT_EQ(map[2].name, "COM3");
  EXPECT_EQ(map[2].device, "/dev/whatever");
  EXPECT_TRUE(map[2].from_settings);
  EXPECT_EQ(map[3].name, "COM4");
  EXPECT_EQ(map[3].device, paths.dev + "/ttyUSB2");

  EXPECT_EQ(ResolveCommPort(3, paths), "/dev/whatever");
  EXPECT_EQ(ResolvePortName("Com3", paths), "/dev/whatever");
}

TEST_F(PortMapTest, PortNamesResolve) {
  AddUsbTty("ttyUSB0", "1-1", "0403", "6001", "");
  EXPECT_EQ(ResolvePortName("/dev/ttyS9", paths), "/dev/ttyS9");
  EXPECT_EQ(ResolvePortName("COM1", paths), paths.dev + "/ttyUSB0");
  for (const char* bad : {"", "COM", "COM0", "COM-1", "COM+1", "COM1x", "COMX", "LPT1", "ttyUSB0",
                          "COM99999999999999999999"}) {
    EXPECT_EQ(ResolvePortName(bad, paths), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace vexo
