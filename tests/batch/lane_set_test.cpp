#include "batch/lane_set.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/support/temp_workdir.h"

namespace vexo {
namespace {

SerialDevice Usb(const std::string& device, const std::string& serial,
                 const std::string& devpath = "/devices/usb1/1-1.2") {
  SerialDevice d;
  d.device = device;
  d.serial = serial;
  d.devpath = devpath;
  return d;
}

SerialDevice OnBoard(const std::string& device) {
  SerialDevice d;
  d.device = device;
  return d;
}

TEST(LaneSet, KeyIsTheSerialElseTheUsbPathElseTheDevice) {
  EXPECT_EQ(LaneKey(Usb("/dev/ttyUSB0", "A10K", "/devices/x/1-1")), "usb:A10K");
  EXPECT_EQ(LaneKey(Usb("/dev/ttyUSB0", "", "/devices/x/1-1")), "path:/devices/x/1-1");
  EXPECT_EQ(LaneKey(OnBoard("/dev/ttyS0")), "dev:/dev/ttyS0");
  EXPECT_FALSE(IsUsbAdapter(OnBoard("/dev/ttyS0")));
}

TEST(LaneSet, ACableKeepsItsLaneUnderAnotherNameAndARunningOneStays) {
  testing::TempWorkdir workdir;
  LaneSet set;
  LaneSet::Scan scan =
      set.Rescan({Usb("/dev/ttyUSB1", "A10K"), Usb("/dev/ttyUSB2", "B7"), OnBoard("/dev/ttyS0")});
  ASSERT_EQ(scan.added.size(), 2u);  // the on-board port only by hand
  Lane& a = *set.Find("usb:A10K");
  Lane& b = *set.Find("usb:B7");

  b.state = LaneState::running;
  scan = set.Rescan({});
  EXPECT_FALSE(a.present);
  EXPECT_TRUE(b.present) << "its job still runs";
  b.state = LaneState::failed;

  scan = set.Rescan({Usb("/dev/ttyUSB0", "A10K")});
  EXPECT_TRUE(scan.added.empty());
  EXPECT_EQ(scan.plugged_in, std::vector<Lane*>{&a});
  EXPECT_EQ(a.device.device, "/dev/ttyUSB0");
  EXPECT_TRUE(set.Rescan({Usb("/dev/ttyUSB0", "A10K")}).plugged_in.empty());
}

TEST(LaneSet, SettingsAndHandAddedPortsOutliveTheSet) {
  testing::TempWorkdir workdir;
  std::set<std::string> there = {"/dev/ttyS0"};
  auto exists = [&there](const std::string& path) { return there.count(path) > 0; };
  const SystemPaths nothing_else = {workdir.File("dev"), workdir.File("sys")};
  {
    LaneSet set(nothing_else, exists);
    set.Rescan({Usb("/dev/ttyUSB0", "K=[1];")});
    Lane& usb = *set.lanes().front();
    EXPECT_TRUE(usb.take_part);
    EXPECT_FALSE(usb.auto_start);
    set.SetTakePart(usb, false);
    set.SetAutoStart(usb, true);
    EXPECT_TRUE(set.AddPort("/dev/ttyS0").added);
    EXPECT_FALSE(set.AddPort("/dev/ttyS0").added);
    EXPECT_FALSE(set.AddPort("/dev/ttyS9").lane->present);
  }
  there.insert("/dev/ttyS9");
  LaneSet again(nothing_else, exists);
  const std::vector<Lane*> saved = again.AddSavedPorts();
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0]->key, "dev:/dev/ttyS0");
  EXPECT_TRUE(saved[1]->present);
  again.Rescan({Usb("/dev/ttyUSB3", "K=[1];")});
  const Lane& usb = *again.Find("usb:K=[1];");
  EXPECT_FALSE(usb.take_part);
  EXPECT_TRUE(usb.auto_start);
}

TEST(LaneSet, WhichLanesStartRetryAndHowTheyEnded) {
  testing::TempWorkdir workdir;
  LaneSet set;
  set.Rescan({Usb("/dev/ttyUSB0", "A", "/p/a"), Usb("/dev/ttyUSB1", "B", "/p/b"),
              Usb("/dev/ttyUSB2", "C", "/p/c"), Usb("/dev/ttyUSB3", "D", "/p/d")});
  Lane& a = *set.Find("usb:A");
  Lane& b = *set.Find("usb:B");
  Lane& c = *set.Find("usb:C");
  Lane& d = *set.Find("usb:D");
  set.SetTakePart(b, false);
  d.present = false;
  EXPECT_EQ(set.ToStart(), (std::vector<Lane*>{&a, &c}));

  a.state = LaneState::completed;
  b.state = LaneState::stopped;
  c.state = LaneState::failed;
  d.state = LaneState::failed;  // gone: nothing to retry on
  EXPECT_EQ(set.ToRetry(), (std::vector<Lane*>{&b, &c}));
  const LaneTally tally = set.Tally();
  EXPECT_EQ(tally.completed, 1);
  EXPECT_EQ(tally.stopped, 1);
  EXPECT_EQ(tally.failed, 2);
  EXPECT_FALSE(set.AnyRunning());

  set.SetAutoStart(b, true);
  EXPECT_FALSE(LaneSet::StartsWhenPluggedIn(b)) << "not taking part";
  set.SetAutoStart(a, true);
  EXPECT_TRUE(LaneSet::StartsWhenPluggedIn(a));
  a.state = LaneState::running;
  EXPECT_FALSE(LaneSet::StartsWhenPluggedIn(a));
  EXPECT_TRUE(set.AnyRunning());
}

}  // namespace
}  // namespace vexo
