#include "web/engine/web_job_host.h"

#include <emscripten.h>

#include <nlohmann/json.hpp>

#include <utility>

// clang-format off
EM_JS(void, vexo_ui_text, (const char* call, const char* text), {
  Module.vexoUiCall(UTF8ToString(call), UTF8ToString(text));
});

EM_JS(void, vexo_ui_numbers, (const char* call, int count, int first, int second), {
  const name = UTF8ToString(call);
  if (count === 0) Module.vexoUiCall(name);
  else if (count === 1) Module.vexoUiCall(name, first);
  else Module.vexoUiCall(name, first, second);
});

EM_JS(void, vexo_ui_event, (const char* json), {
  Module.vexoUiCall('event', JSON.parse(UTF8ToString(json)));
});

EM_ASYNC_JS(void, vexo_ui_message, (const char* text, int id), {
  try {
    await Module.vexoUiCall('message', UTF8ToString(text), id);
  } catch (error) {
    console.error('vexo ui.message', error);
  }
});

EM_JS(int, vexo_line_stopped, (), {
  return Module.vexoLine && Module.vexoLine.stopped ? 1 : 0;
});
// clang-format on

namespace vexo::web {

namespace {

// One event object for the page; texts are the engine's own UTF-8.
void SendEvent(const char* name, nlohmann::json fields = nlohmann::json::object()) {
  fields["event"] = name;
  vexo_ui_event(fields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

}  // namespace

void WebLogView::Empty() {
  length_ = 0;
  vexo_ui_numbers("logEmpty", 0, 0, 0);
}

void WebLogView::AppendLine(const std::string& line) {
  length_ += line.size() + 2;  // the box's CR LF after each line
  vexo_ui_text("log", line.c_str());
}

bool WebJobHost::StopRequested() const {
  return vexo_line_stopped() != 0;
}

void WebJobHost::ShowMessage(const std::string& text) {
  if (StopRequested()) {
    message_id_ = 0;
    return;
  }
  Show(text);
}

void WebJobHost::Show(const std::string& text) {
  const TextId id = std::exchange(message_id_, 0);
  SendEvent("message", {{"id", id}, {"text", text}});
  vexo_ui_message(text.c_str(), id);
}

void WebJobHost::ShowStatus(const std::string& text) {
  vexo_ui_text("status", text.c_str());
}

void WebJobHost::HideStatus() {
  EM_ASM({ Module.vexoUiCall('status', null); });
}

void WebJobHost::SetProgressRange(std::int32_t low, std::int32_t high) {
  progress_total_ = high - low;
  vexo_ui_numbers("progressRange", 2, low, high);
}

void WebJobHost::SetProgressPosition(std::int32_t position) {
  vexo_ui_numbers("progress", 1, position, 0);
  SendEvent("progress", {{"done", position}, {"total", progress_total_}});
}

void WebJobHost::SetJobControls(JobControls state) {
  const bool busy = state == JobControls::busy;
  if (!busy) ClosePortQuietly(port_);
  EM_ASM({ Module.vexoUiCall('controls', !!$0); }, busy);
}

void WebJobHost::StartBusyIndicator() {
  EM_ASM({ Module.vexoUiCall('busyIndicator', true); });
}

void WebJobHost::StopBusyIndicator() {
  EM_ASM({ Module.vexoUiCall('busyIndicator', false); });
}

void WebJobHost::ImageLoaded(const ImageSummary& summary) {
  SendEvent("image", {{"bytes", summary.bytes},
                      {"records", summary.records},
                      {"trailing_bytes", summary.trailing_bytes}});
}

void WebJobHost::PhaseStarted(JobPhase phase) {
  if (phase == JobPhase::erase) flash_touched_ = true;
  SendEvent("phase", {{"name", JobPhaseName(phase)}});
}

void WebJobHost::PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) {
  SendEvent("phase_end", {{"name", JobPhaseName(phase)},
                          {"ok", ok},
                          {"attempts", tally.attempts},
                          {"retries", tally.retries},
                          {"bytes_sent", tally.bytes_sent},
                          {"bytes_received", tally.bytes_received}});
}

void WebJobHost::IdentityReceived(const std::string& hex) {
  SendEvent("identity", {{"hex", hex}});
}

void WebJobHost::RateInUse(int baud, bool downing_declined) {
  SendEvent("rate", {{"baud", baud}, {"downing_declined", downing_declined}});
}

void WebJobHost::ReadBackChecked(int pages_compared, std::optional<std::uint32_t> first_difference) {
  SendEvent("read_back", {{"pages_compared", pages_compared},
                          {"first_difference", first_difference ? nlohmann::json(*first_difference)
                                                                : nlohmann::json(nullptr)}});
}

void WebJobHost::ClosingConfirmed(bool confirmed) {
  SendEvent("closing", {{"confirmed", confirmed}});
}

}  // namespace vexo::web
