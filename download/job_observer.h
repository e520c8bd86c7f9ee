// What a download job tells its host beyond what the window's controls show:
// the stretches it runs, what the radio said about itself, the line rate it
// ended up at, how the read-back and the closing exchange went. Hosts that
// keep a record or write an event stream listen; the engine never knows where
// it goes. Called on the job's thread; every call does nothing by default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/text_ids.h"
#include "link/frame_exchange.h"

namespace vexo {

// The stretches of a job, in the order they run; read_back only in E.P.R.
enum class JobPhase { handshake, erase, programming, read_back, closing };

// The name of a phase in records and event streams.
inline const char* JobPhaseName(JobPhase phase) {
  switch (phase) {
    case JobPhase::handshake:
      return "handshake";
    case JobPhase::erase:
      return "erase";
    case JobPhase::programming:
      return "programming";
    case JobPhase::read_back:
      return "read-back";
    case JobPhase::closing:
      return "closing";
  }
  return "";
}

// The firmware file as the job loaded it.
struct ImageSummary {
  std::int64_t bytes = 0;
  int records = 0;
  std::int64_t trailing_bytes = 0;  // after the last whole record: never sent
};

class JobObserver {
 public:
  virtual ~JobObserver() = default;
  virtual void ImageLoaded(const ImageSummary& summary) { (void)summary; }
  virtual void PhaseStarted(JobPhase phase) { (void)phase; }
  // ok: the phase did its work; tally: the exchanges it made.
  virtual void PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) {
    (void)phase, (void)ok, (void)tally;
  }
  // The eight bytes the boot loader answered to the identity request (hex).
  virtual void IdentityReceived(const std::string& hex) { (void)hex; }
  // The rate the records go at: the one asked for, or 9600 when the boot
  // loader declined DOWNING.
  virtual void RateInUse(int baud, bool downing_declined) { (void)baud, (void)downing_declined; }
  // Pages the read-back compared, and the first flash address that differed.
  virtual void ReadBackChecked(int pages_compared, std::optional<std::uint32_t> first_difference) {
    (void)pages_compared, (void)first_difference;
  }
  // Whether the radio answered both steps of the closing exchange.
  virtual void ClosingConfirmed(bool confirmed) { (void)confirmed; }

  // Relayed by hosts to the observers they hold, from what the engine shows:
  // a message with its text id, and the progress of a phase.
  virtual void MessageShown(TextId id, const std::string& text) { (void)id, (void)text; }
  virtual void ProgressMade(std::int32_t done, std::int32_t total) { (void)done, (void)total; }
};

}  // namespace vexo
