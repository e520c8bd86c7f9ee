// The functions the page calls (through web/engine.js): texts, the lists of
// rates and models, the firmware check, the Test listing and the job. Texts
// handed back stay valid until the next call of the same function. The
// listing and the job suspend while the line or the page is awaited, so the
// page calls them as asynchronous (ccall with async).
#include <emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <string>

#include "app/process_state.h"
#include "app/radio_models.h"
#include "app/settings.h"
#include "app/text_ids.h"
#include "download/download_worker.h"
#include "download/firmware_image.h"
#include "download/image_checks.h"
#include "download/image_records.h"
#include "download/program_listing.h"
#include "link/line_rates.h"
#include "web/engine/web_clock.h"
#include "web/engine/web_job_host.h"

namespace {

using namespace vexo;

// One job or listing at a time: the page's thread is the only one.
bool job_running = false;

const char* Kept(std::string& slot, std::string text) {
  slot = std::move(text);
  return slot.c_str();
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void vexo_init() {
  ::mkdir(web::kFirmwareFolder, 0700);
  // No system.ini or language file is looked for beside the page: the
  // shipped texts are built in, and the page keeps its own settings.
  RunStartup(std::string(web::kFirmwareFolder));
  if (::chdir(web::kFirmwareFolder) != 0) std::perror(web::kFirmwareFolder);
}

// english: 0 Chinese, 1 English.
EMSCRIPTEN_KEEPALIVE void vexo_set_language(int english) {
  AppState().LanguageBase = english ? kLanguageEnglish : kLanguageChinese;
}

EMSCRIPTEN_KEEPALIVE const char* vexo_text(int id) {
  static std::string text;
  return Kept(text, LookupText(id));
}

EMSCRIPTEN_KEEPALIVE const char* vexo_version() {
  static std::string text;
  return Kept(text, std::string(kVersionNumber) + kBuildLetter);
}

// One per line.
EMSCRIPTEN_KEEPALIVE const char* vexo_models() {
  static std::string text;
  std::string models;
  for (const char* model : kRadioModels) models += std::string(model) + "\n";
  return Kept(text, models);
}

EMSCRIPTEN_KEEPALIVE const char* vexo_rates() {
  static std::string text;
  std::string rates;
  for (const LoaderRate& rate : kLoaderRates) rates += std::to_string(rate.baud) + "\n";
  return Kept(text, rates);
}

// The facts of the file the page put in the firmware folder, and what a job
// in mode would refuse in it, as JSON.
EMSCRIPTEN_KEEPALIVE const char* vexo_check_image(const char* file_name, int mode) {
  static std::string text;
  auto refusal = [](TextId id) { return nlohmann::json{{"id", id}, {"text", LookupText(id)}}; };
  nlohmann::json facts;
  ImageText image;
  const std::int64_t bytes = LoadFirmwareImage(file_name, image);
  if (bytes < 0) {
    facts = {{"bytes", nullptr}, {"refusal", refusal(text::kFileMissing)}};
  } else {
    const auto span = RecordAddressRange(*image);
    const TextId refused = ImageRefusal(*image, mode);
    facts = {{"bytes", bytes},
             {"records", RecordCount(*image)},
             {"trailingBytes", TrailingBytes(bytes)},
             {"lowest", span ? nlohmann::json(span->lowest) : nlohmann::json(nullptr)},
             {"highest", span ? nlohmann::json(span->highest) : nlohmann::json(nullptr)},
             {"refusal", refused == 0 ? nlohmann::json(nullptr) : refusal(refused)}};
  }
  return Kept(text, facts.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

EMSCRIPTEN_KEEPALIVE int vexo_listing(const char* file_name) {
  if (job_running) return 1;
  job_running = true;
  web::WebJobHost host({file_name, 0, kModeEraseProgram});
  const int result = ListProgramMessages(file_name, host.Log(), host, nullptr);
  job_running = false;
  return result;
}

// 0: the job reached its end; 1: it ended early (a stop among those ways,
// told by the stop's own message).
EMSCRIPTEN_KEEPALIVE int vexo_run(const char* file_name, int rate, int mode, int model_index) {
  if (job_running) return 1;
  job_running = true;
  AppState().ModelIndex = model_index;
  web::WebJobHost host({file_name, rate, mode});
  web::WebClock clock;
  const int result = DownloadWorker(host, clock);
  if (result != 0 && host.StopRequested()) {
    const TextId id = host.FlashTouched() ? text::kStoppedUnfinished : text::kStoppedUntouched;
    host.NoteMessageId(id);
    host.ShowStoppedMessage(LookupText(id));
  }
  job_running = false;
  return result;
}

}  // extern "C"
