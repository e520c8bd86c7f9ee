// A JobHost whose serial control is a real CMSComm bound to one device path,
// for jobs against a pseudo-terminal or against a device that is missing,
// busy or forbidden. Everything else is FakeHost's: host calls recorded as
// events, messages collected. One thread drives it at a time.
#pragma once

#include <string>

#include "link/cmscomm.h"
#include "tests/support/fake_host.h"

namespace vexo::testing {

// FakeHost's scripted port needs a clock; it is never used here.
struct UnusedPortClock {
  FakeClock unused_port_clock;
};

class PortHost : private UnusedPortClock, public FakeHost {
 public:
  explicit PortHost(const std::string& device) : FakeHost(unused_port_clock) {
    comm.SetDevicePath(device);
  }

  SerialControl& SerialPort() override { return comm; }
  void SetJobControls(JobControls state) override {
    FakeHost::SetJobControls(state);
    if (state == JobControls::idle) ClosePortQuietly(comm);
  }

  CMSComm comm;
};

}  // namespace vexo::testing
