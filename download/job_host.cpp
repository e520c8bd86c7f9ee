#include "download/job_host.h"

namespace vexo {

void ClosePortQuietly(SerialControl& port) {
  if (port.PortOpen()) {
    (void)port.SetPortOpen(false);  // a failure to close changes nothing for the user
  }
}

}  // namespace vexo
