#include "web/engine/web_job_host.h"

#include <emscripten.h>

#include <cstdio>
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

std::string JsonText(const std::string& text) {
  std::string json = "\"";
  for (const unsigned char c : text) {
    switch (c) {
      case '"':
        json += "\\\"";
        break;
      case '\\':
        json += "\\\\";
        break;
      case '\n':
        json += "\\n";
        break;
      case '\r':
        json += "\\r";
        break;
      case '\t':
        json += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          json += escaped;
        } else {
          json += static_cast<char>(c);
        }
    }
  }
  return json + "\"";
}

namespace {

void SendEvent(const std::string& name, const std::string& fields) {
  const std::string json = "{\"event\":\"" + name + "\"" + (fields.empty() ? "" : "," + fields) + "}";
  vexo_ui_event(json.c_str());
}

std::string Field(const char* key, const std::string& json_value) {
  return std::string("\"") + key + "\":" + json_value;
}

std::string Number(std::int64_t value) {
  return std::to_string(value);
}

std::string Flag(bool value) {
  return value ? "true" : "false";
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
  SendEvent("message", Field("id", Number(id)) + "," + Field("text", JsonText(text)));
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
  SendEvent("progress", Field("done", Number(position)) + "," + Field("total", Number(progress_total_)));
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
  SendEvent("image", Field("bytes", Number(summary.bytes)) + "," +
                         Field("records", Number(summary.records)) + "," +
                         Field("trailing_bytes", Number(summary.trailing_bytes)));
}

void WebJobHost::PhaseStarted(JobPhase phase) {
  if (phase == JobPhase::erase) flash_touched_ = true;
  SendEvent("phase", Field("name", JsonText(JobPhaseName(phase))));
}

void WebJobHost::PhaseEnded(JobPhase phase, bool ok, const ExchangeTally& tally) {
  SendEvent("phase_end", Field("name", JsonText(JobPhaseName(phase))) + "," + Field("ok", Flag(ok)) +
                             "," + Field("attempts", Number(tally.attempts)) + "," +
                             Field("retries", Number(tally.retries)) + "," +
                             Field("bytes_sent", Number(tally.bytes_sent)) + "," +
                             Field("bytes_received", Number(tally.bytes_received)));
}

void WebJobHost::IdentityReceived(const std::string& hex) {
  SendEvent("identity", Field("hex", JsonText(hex)));
}

void WebJobHost::RateInUse(int baud, bool downing_declined) {
  SendEvent("rate", Field("baud", Number(baud)) + "," + Field("downing_declined", Flag(downing_declined)));
}

void WebJobHost::ReadBackChecked(int pages_compared, std::optional<std::uint32_t> first_difference) {
  SendEvent("read_back", Field("pages_compared", Number(pages_compared)) + "," +
                             Field("first_difference",
                                   first_difference ? Number(*first_difference) : "null"));
}

void WebJobHost::ClosingConfirmed(bool confirmed) {
  SendEvent("closing", Field("confirmed", Flag(confirmed)));
}

}  // namespace vexo::web
