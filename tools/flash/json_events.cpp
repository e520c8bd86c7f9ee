#include "tools/flash/json_events.h"

#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>

#include "history/job_facts.h"

namespace vexo {
namespace {

constexpr std::int64_t kProgressEveryMs = 100;

}  // namespace

JsonEvents::JsonEvents(std::FILE* out, std::string port, Clock& clock)
    : out_(out), port_(std::move(port)), clock_(clock), start_ms_(clock.NowMs()) {}

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
  Write(Dump(object));
}

void JsonEvents::PhaseStarted(JobPhase phase) {
  std::lock_guard lock(mutex_);
  phase_ = JobPhaseName(phase);
  last_progress_ms_ = -1'000'000;
  auto object = Event("phase", clock_.NowMs() - start_ms_, port_);
  object["name"] = phase_;
  Write(Dump(object));
}

void JsonEvents::ProgressMade(std::int32_t done, std::int32_t total) {
  std::lock_guard lock(mutex_);
  const std::int64_t now = clock_.NowMs();
  if (done < total && now - last_progress_ms_ < kProgressEveryMs) return;
  last_progress_ms_ = now;
  auto object = Event("progress", now - start_ms_, port_);
  object["phase"] = phase_;
  object["done"] = done;
  object["total"] = total;
  Write(Dump(object));
}

void JsonEvents::MessageShown(TextId id, const std::string& text) {
  std::lock_guard lock(mutex_);
  auto object = Event("message", clock_.NowMs() - start_ms_, port_);
  object["id"] = id;
  object["text"] = text;
  Write(Dump(object));
}

void JsonEvents::IdentityReceived(const std::string& hex) {
  std::lock_guard lock(mutex_);
  auto object = Event("identity", clock_.NowMs() - start_ms_, port_);
  object["hex"] = hex;
  Write(Dump(object));
}

void JsonEvents::ClosingConfirmed(bool confirmed) {
  std::lock_guard lock(mutex_);
  closing_confirmed_ = confirmed;
}

void JsonEvents::End(const std::string& result, int exit_status,
                     std::optional<std::int64_t> history_row,
                     const std::optional<std::string>& history_head) {
  std::lock_guard lock(mutex_);
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
  Write(Dump(object));
}

void JsonEvents::Write(const std::string& line) {
  // One write a line: several processes may share the stream, and a line of
  // one must never be cut into by another's. A reader that has gone (a closed
  // pipe) must not end the job.
  std::fflush(out_);
  const std::string whole = line + "\n";
  std::size_t done = 0;
  while (done < whole.size()) {
    const ssize_t put = ::write(fileno(out_), whole.data() + done, whole.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    done += static_cast<std::size_t>(put);
  }
}

}  // namespace vexo
