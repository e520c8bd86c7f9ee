#include "tools/flash/guarded_job.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <thread>

#include "app/settings.h"
#include "app/text_ids.h"
#include "download/download_worker.h"
#include "link/clock.h"
#include "tools/flash/flash_options.h"
#include "tools/flash/stop_rule.h"

namespace vexo {
namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void IgnoreHangUps() {
  signal(SIGHUP, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

int RunGuardedJob(ConsoleHost& host) {
  const sigset_t stops = StopSignals();
  sigset_t previous;
  // Blocked before the worker starts, so that it inherits the mask and only
  // this thread takes the signals, through the descriptor below.
  pthread_sigmask(SIG_BLOCK, &stops, &previous);
  const int signals = signalfd(-1, &stops, SFD_CLOEXEC);
  const int ended = eventfd(0, EFD_CLOEXEC);

  std::atomic<int> result{kExitStopped};
  std::thread worker([&] {
    result = DownloadWorker(host);
    const std::uint64_t one = 1;
    (void)!write(ended, &one, sizeof one);
  });

  StopRule rule;
  int stopped_by = 0;
  for (;;) {
    pollfd waiters[2] = {{ended, POLLIN, 0}, {signals, POLLIN, 0}};
    const int ready = poll(waiters, signals >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (waiters[0].revents & POLLIN) != 0) break;
    signalfd_siginfo request{};
    if (read(signals, &request, sizeof request) != sizeof request || stopped_by != 0) continue;
    if (rule.OnRequest(RealClock().NowMs(), host.FlashTouched()) == StopDecision::warn) {
      host.Say(LookupText(text::kStopWarning));
      continue;
    }
    stopped_by = static_cast<int>(request.ssi_signo);
    host.StopJob();
  }
  worker.join();
  if (signals >= 0) close(signals);
  if (ended >= 0) close(ended);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);

  if (stopped_by == 0) return result;
  // The stop came as the job reached its end: it is complete, and says so.
  if (result == kExitCompleted) {
    if (const std::string last = host.HeldBackMessage(); !last.empty()) host.Say(last);
    return kExitCompleted;
  }
  host.Say(LookupText(host.FlashTouched() ? text::kStoppedUnfinished : text::kStoppedUntouched));
  return ExitStatusForSignal(stopped_by);
}

}  // namespace vexo
