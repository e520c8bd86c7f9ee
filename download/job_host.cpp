#include "download/job_host.h"

#include "app/settings.h"
#include "download/job_context.h"

namespace vexo {

void ClosePortQuietly(SerialControl& port) {
  if (port.PortOpen()) {
    (void)port.SetPortOpen(false);  // a failure to close changes nothing for the user
  }
}

void ShowText(JobHost& host, int id) {
  ShowTextMessage(host, id);
}

}  // namespace vexo
