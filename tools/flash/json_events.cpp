#include "tools/flash/json_events.h"

#include <nlohmann/json.hpp>

#include "history/job_facts.h"

namespace vexo {
namespace {

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

JsonEvents::JsonEvents(std::FILE* out, std::string port, Clock& clock)
    : queue_(Flushed(out)), port_(std::move(port)), clock_(clock), start_ms_(clock.NowMs()) {}

namespace {

// The common fields of every event.
nlohmann::ordered_json Event(const char* name, std::int64_t t, const std::string& port) {
  nlohmann::ordered_json object;
  object["v"] = kJsonEventsVersion;
  object["t"] = t;
  object["event"] = name;
  if (!port.empty()) object["port"] = port;
  return object;
}

// Texts from files and devices may hold any bytes: never let one stop the stream.
std::string Dump(const nlohmann::ordered_json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void JsonEvents::Start(const JobFacts& facts, const std::string& usb_serial) {
  auto object = Event("start", 0, port_.empty() ? facts.port : port_);
  object["device"] = facts.device;
  object["usb_serial"] = usb_serial;
  object["rate"] = facts.baud;
  object["mode"] = ModeName(facts.mode);
  object["file"] = facts.firmware_path;
  object["sha256"] = facts.firmware_sha256;
  object["records"] = facts.records;
  std::lock_guard lock(mutex_);
  start_ms_ = clock_.NowMs();
  queue_.Put(Dump(object), LineUrgency::kKept);
}

void JsonEvents::PhaseStarted(JobPhase phase) {
  std::lock_guard lock(mutex_);
  FlushProgressLocked();
  phase_ = JobPhaseName(phase);
  last_progress_ms_ = -1'000'000;
  auto object = Event("phase", clock_.NowMs() - start_ms_, port_);
  object["name"] = phase_;
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
  auto object = Event("progress", progress.at_ms - start_ms_, port_);
  object["phase"] = phase_;
  object["done"] = progress.done;
  object["total"] = progress.total;
  queue_.Put(Dump(object), urgency);
}

void JsonEvents::MessageShown(TextId id, const std::string& text) {
  std::lock_guard lock(mutex_);
  FlushProgressLocked();
  auto object = Event("message", clock_.NowMs() - start_ms_, port_);
  object["id"] = id;
  object["text"] = text;
  queue_.Put(Dump(object), LineUrgency::kKept);
}

void JsonEvents::IdentityReceived(const std::string& hex) {
  std::lock_guard lock(mutex_);
  FlushProgressLocked();
  auto object = Event("identity", clock_.NowMs() - start_ms_, port_);
  object["hex"] = hex;
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
  auto object = Event("end", clock_.NowMs() - start_ms_, port_);
  object["result"] = result;
  object["exit_status"] = exit_status;
  object["closing_confirmed"] = closing_confirmed_;
  if (history_row) {
    object["history_row"] = *history_row;
  } else {
    object["history_row"] = nullptr;
  }
  if (history_head) {
    object["history_head"] = *history_head;
  } else {
    object["history_head"] = nullptr;
  }
  queue_.Put(Dump(object), LineUrgency::kKept);
  lock.unlock();
  // The job is over: the process may end once the reader has the stream, or
  // once it has had a fair while to read it.
  queue_.Close();
}

}  // namespace vexo
