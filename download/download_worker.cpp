#include "download/download_worker.h"

#include <atomic>
#include <functional>
#include <utility>

#include "app/process_state.h"
#include "app/settings.h"
#include "app/text_ids.h"
#include "download/firmware_image.h"
#include "download/image_checks.h"
#include "download/image_records.h"
#include "download/phases.h"
#include "link/hex_text.h"

namespace vexo {
namespace {

constexpr int kJobCompleted = 0;
constexpr int kJobStopped = 1;
constexpr int kEraseToProgramMs = 100;
constexpr int kClosingReplyBytes = 1;
constexpr int kClosingLimitMs = 1300;
constexpr char kClosingAck[] = "45";
constexpr char kFinalMessage[] = "45";
constexpr char kFinalAck[] = "06";
constexpr std::uint32_t kClosingAddress = 0xFFFFFFFF;

// The closing frame: a programming message to address FFFFFFFF carrying
// 00..7F, answered by 0x45 instead of an echo.
std::string ClosingFrame() {
  std::string frame = std::string(kProgramLead) + HexOfValue(kClosingAddress, 4) +
                      kProgramDataCount + CountingPattern();
  return frame + HexChecksum(frame);
}

// One job per process at a time: the engine's state is process-wide.
std::atomic<bool> job_running{false};

class JobSlot {
 public:
  JobSlot() : taken_(!job_running.exchange(true)) {}
  ~JobSlot() {
    if (taken_) job_running = false;
  }
  bool taken() const { return taken_; }
  JobSlot(const JobSlot&) = delete;
  JobSlot& operator=(const JobSlot&) = delete;

 private:
  bool taken_;
};

// Runs one phase between the host's start and end notes; true when it did
// its work.
template <typename Phase>
bool RunPhase(JobContext& job, JobPhase phase, Phase&& body) {
  job.host.PhaseStarted(phase);
  const ExchangeTally before = job.exchange.tally();
  const bool ok = body();
  job.host.PhaseEnded(phase, ok, job.exchange.tally() - before);
  return ok;
}

int RunPhases(JobContext& job, int target_baud, const std::string& image) {
  if (!RunPhase(job, JobPhase::handshake,
                [&] { return LinkHandshake(job, target_baud) == kPhaseOk; }) ||
      !RunPhase(job, JobPhase::erase, [&] { return FlashErase(job) == kPhaseOk; })) {
    return kJobStopped;
  }
  job.clock.SleepMs(kEraseToProgramMs);
  if (!RunPhase(job, JobPhase::programming,
                [&] { return ProgramBlocks(job, image) == kPhaseOk; })) {
    return kJobStopped;
  }
  if (job.host.DownloadMode() == kModeEraseProgramVerify &&
      !RunPhase(job, JobPhase::read_back, [&] { return VerifyBlocks(job, image) == kPhaseOk; })) {
    return kJobStopped;
  }
  return kJobCompleted;
}

// The closing exchange; true when the radio answered both steps. A failed
// step closes the port; the step after it is then not sent on the closed port.
bool CloseSession(JobContext& job) {
  SerialControl& port = job.host.SerialPort();
  std::string reply;
  const std::pair<std::string, const char*> steps[] = {
      {ClosingFrame(), kClosingAck},
      {kFinalMessage, kFinalAck},
  };
  bool confirmed = true;
  for (const auto& [message, ack] : steps) {
    if (!port.PortOpen()) return false;
    if (!job.exchange.ExchangeMessage(message, reply, kClosingReplyBytes, kClosingLimitMs, ack,
                                      ReportFailure::yes)) {
      ShowText(job.host, text::kExchangeFailed);
      port.Close();
      confirmed = false;
    }
  }
  return confirmed;
}

int RunJob(JobHost& host, Clock& clock, const std::function<LoadedImage()>& load) {
  JobSlot slot;
  if (!slot.taken()) return kJobStopped;

  const int target_baud = host.GetBaudRate();
  BusyCursorScope busy(&host);
  const LoadedImage loaded = load();
  if (loaded.outcome == ImageLoad::missing) {
    ShowText(host, text::kFileMissing);
    return kJobStopped;
  }
  if (loaded.outcome == ImageLoad::unreadable || !loaded.image) {
    ShowText(host, text::kFileUnreadable);
    return kJobStopped;
  }
  const ImageText& image = loaded.image;
  // Refused before the radio is touched.
  if (const TextId refusal = ImageRefusal(*image, host.DownloadMode()); refusal != 0) {
    ShowText(host, refusal);
    return kJobStopped;
  }
  host.ImageLoaded({loaded.bytes, RecordCount(*image), TrailingBytes(loaded.bytes)});

  host.SetJobControls(JobControls::busy);
  FrameExchange exchange(host.SerialPort(), host.Log(), host, clock,
                         AppState().DiagnosticLog ? kLogCapDiagnostic : kLogCapPlain);
  JobContext job{host, exchange, clock};
  if (RunPhases(job, target_baud, *image) != kJobCompleted) {
    host.SetJobControls(JobControls::idle);
    return kJobStopped;
  }

  bool confirmed = false;
  RunPhase(job, JobPhase::closing, [&] { return confirmed = CloseSession(job); });
  host.ClosingConfirmed(confirmed);
  host.HideStatus();
  host.SerialPort().Close();
  ShowText(host, text::kDownloadComplete);
  host.SetJobControls(JobControls::idle);
  return kJobCompleted;
}

}  // namespace

LoadedImage LoadJobImage(JobHost& host) {
  LoadedImage loaded;
  const std::string path = TrimText(host.FirmwarePathText());
  if (!FileExists(path)) return loaded;
  host.ShowStatus(LookupText(text::kStatusLoading));
  ImageText image;
  loaded.bytes = LoadFirmwareImage(path, image, &host);
  host.HideStatus();
  loaded.outcome = loaded.bytes < 0 ? ImageLoad::unreadable : ImageLoad::loaded;
  if (loaded.outcome == ImageLoad::loaded) loaded.image = std::move(image);
  return loaded;
}

int DownloadWorker(JobHost& host, const LoadedImage& image, Clock& clock) {
  return RunJob(host, clock, [&image] { return image; });
}

int DownloadWorker(JobHost& host, Clock& clock) {
  return RunJob(host, clock, [&host] { return LoadJobImage(host); });
}

}  // namespace vexo
