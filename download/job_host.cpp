#include "download/job_host.h"

#include "app/settings.h"
#include "download/job_context.h"

namespace vexo {

void ClosePortQuietly(SerialControl& port) {
  port.Close();
}

void ShowText(JobHost& host, int id) {
  ShowTextMessage(host, id);
}

}  // namespace vexo
