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

StopRequests::StopRequests() {
  const sigset_t stops = StopSignals();
  // Blocked before the worker starts, so that it inherits the mask and only
  // the main thread takes the requests, through the descriptor.
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  fd_ = signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
}

StopRequests::~StopRequests() {
  if (fd_ >= 0) close(fd_);
}

GuardedJobResult RunGuardedJob(ConsoleHost& host, const LoadedImage& image,
                               StopRequests& requests) {
  const int signals = requests.descriptor();
  signalfd_siginfo request{};
  // A request made while the job was being prepared: the radio is untouched.
  if (signals >= 0 && read(signals, &request, sizeof request) == sizeof request) {
    host.Say(text::kStoppedUntouched);
    return {JobEnd::stopped, ExitStatusForSignal(static_cast<int>(request.ssi_signo))};
  }
  const int ended = eventfd(0, EFD_CLOEXEC);

  std::atomic<int> result{kExitStopped};
  std::thread worker([&] {
    result = DownloadWorker(host, image);
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
    if (read(signals, &request, sizeof request) != sizeof request || stopped_by != 0) continue;
    if (rule.OnRequest(RealClock().NowMs(), host.FlashTouched()) == StopDecision::warn) {
      host.Say(text::kStopWarning);
      continue;
    }
    stopped_by = static_cast<int>(request.ssi_signo);
    host.StopJob();
  }
  worker.join();
  if (ended >= 0) close(ended);

  if (result == kExitCompleted) {
    // A stop that came as the job reached its end: it is complete, and says so.
    if (stopped_by != 0) host.ShowHeldBackMessage();
    return {JobEnd::completed, kExitCompleted};
  }
  if (stopped_by == 0) return {JobEnd::failed, result};
  host.Say(host.FlashTouched() ? text::kStoppedUnfinished : text::kStoppedUntouched);
  return {JobEnd::stopped, ExitStatusForSignal(stopped_by)};
}

}  // namespace vexo
