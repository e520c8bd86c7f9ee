#include "tools/flash/json_events.h"

#include <nlohmann/json.hpp>

#include "history/job_event_schema.h"
#include "history/job_facts.h"

namespace vexo {
namespace {

namespace key = job_event::key;
namespace name = job_event::name;

constexpr std::int64_t kProgressEveryMs = 100;

}  // namespace

namespace {

// What stdio holds must come before the first event: the queue writes to the
// descriptor directly.
int Flushed(std::FILE* out) {
  std::fflush(out);
  return fileno(out);
}

}  // namespace

JsonEvents::JsonEvents(std::FILE* out, Clock& clock)
    : queue_(Flushed(out)), clock_(clock), start_ms_(clock.NowMs()) {}

namespace {

// The common fields of every event.
nlohmann::ordered_json Event(const char* name, std::int64_t t, const std::string& port = {}) {
  nlohmann::ordered_json object;
  object[key::kVersion] = kJsonEventsVersion;
  object[key::kTime] = t;
  object[key::kEvent] = name;
  if (!port.empty()) object[key::kPort] = port;
  return object;
}

// Texts from files and devices may hold any bytes: never let one stop the stream.
std::string Dump(const nlohmann::ordered_json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void JsonEvents::Start(const JobFacts& facts, const std::string& usb_serial) {
  auto object = Event(name::kStart, 0, facts.port);
  object[key::kDevice] = facts.device;
  object[key::kUsbSerial] = usb_serial;
  object[key::kRate] = facts.baud;
  object[key::kMode] = ModeName(facts.mode);
  object[key::kFile] = facts.firmware_path;
  object[key::kSha256] = facts.firmware_sha256;
  object[key::kRecords] = facts.records;
  std::lock_guard lock(mutex_);
  start_ms_ = clock_.NowMs();
  queue_.Put(Dump(object), LineUrgency::kKept);
}

void JsonEvents::PhaseStarted(JobPhase phase) {
  std::lock_guard lock(mutex_);
  FlushProgressLocked();
  phase_ = JobPhaseName(phase);
  last_progress_ms_ = -1'000'000;
  auto object = Event(name::kPhase, clock_.NowMs() - start_ms_);
  object[key::kName] = phase_;
  queue_.Put(Dump(object), LineUrgency::kKept);
}

void JsonEvents::ProgressMade(std::int32_t done, std::int32_t total) {
  std::lock_guard lock(mutex_);
  const Progress progress{done, total, clock_.NowMs()};
  if (done < total && progress.at_ms - last_progress_ms_ < kProgressEveryMs) {
    held_progress_ = progress;
    return;
  }
  // A full count ends the phase's figures: it must arrive.
  SendProgressLocked(progress, done < total ? LineUrgency::kDroppable : LineUrgency::kKept);
}

void JsonEvents::PhaseEnded(JobPhase, bool, const ExchangeTally&) {
  std::lock_guard lock(mutex_);
  FlushProgressLocked();
}

void JsonEvents::FlushProgressLocked() {
  if (held_progress_) SendProgressLocked(*held_progress_, LineUrgency::kKept);
}

void JsonEvents::SendProgressLocked(const Progress& progress, LineUrgency urgency) {
  held_progress_.reset();
  last_progress_ms_ = progress.at_ms;
  auto object = Event(name::kProgress, progress.at_ms - start_ms_);
  object[key::kPhase] = phase_;
  object[key::kDone] = progress.done;
  object[key::kTotal] = progress.total;
  queue_.Put(Dump(object), urgency);
}

void JsonEvents::MessageShown(TextId id, const std::string& text) {
  std::lock_guard lock(mutex_);
  FlushProgressLocked();
  auto object = Event(name::kMessage, clock_.NowMs() - start_ms_);
  object[key::kTextId] = id;
  object[key::kText] = text;
  queue_.Put(Dump(object), LineUrgency::kKept);
}

void JsonEvents::IdentityReceived(const std::string& hex) {
  std::lock_guard lock(mutex_);
  FlushProgressLocked();
  auto object = Event(name::kIdentity, clock_.NowMs() - start_ms_);
  object[key::kHex] = hex;
  queue_.Put(Dump(object), LineUrgency::kKept);
}

void JsonEvents::ClosingConfirmed(bool confirmed) {
  std::lock_guard lock(mutex_);
  closing_confirmed_ = confirmed;
}

void JsonEvents::End(const std::string& result, int exit_status,
                     std::optional<std::int64_t> history_row,
                     const std::optional<std::string>& history_head) {
  std::unique_lock lock(mutex_);
  FlushProgressLocked();
  auto object = Event(name::kEnd, clock_.NowMs() - start_ms_);
  object[key::kResult] = result;
  object[key::kExitStatus] = exit_status;
  object[key::kClosingConfirmed] = closing_confirmed_;
  if (history_row) {
    object[key::kHistoryRow] = *history_row;
  } else {
    object[key::kHistoryRow] = nullptr;
  }
  if (history_head) {
    object[key::kHistoryHead] = *history_head;
  } else {
    object[key::kHistoryHead] = nullptr;
  }
  queue_.Put(Dump(object), LineUrgency::kKept);
  lock.unlock();
  // The job is over: the process may end once the reader has the stream, or
  // once it has had a fair while to read it.
  queue_.Close();
}

}  // namespace vexo
