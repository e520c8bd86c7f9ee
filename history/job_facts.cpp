#include "history/job_facts.h"

#include <cstdint>

#include "app/process_state.h"
#include "download/image_records.h"
#include "download/job_host.h"
#include "history/sha256.h"
#include "link/hex_text.h"
#include "link/port_map.h"

namespace vexo {
namespace {

std::string UtcNow() {
  return UtcNowText("%Y-%m-%dT%H:%M:%SZ");
}

}  // namespace

const char* ModeName(int mode) {
  return mode == kModeEraseProgramVerify ? "E.P.R" : "E.P";
}

JobFacts GatherJobFacts(const std::string& port, int baud, int mode,
                        const std::string& firmware_path, const LoadedImage& image) {
  JobFacts facts;
  facts.started_utc = UtcNow();
  facts.version = AppState().VersionText;
  facts.port = port;
  facts.device = ResolvePortName(port).value_or(std::string());
  for (const SerialDevice& present : ListSerialDevices()) {
    if (!facts.device.empty() && present.device == facts.device) {
      facts.usb_vid_pid = present.vid_pid;
      facts.usb_product = present.product;
      facts.usb_serial = present.serial;
      facts.usb_path = present.devpath;
    }
  }
  facts.baud = baud;
  facts.mode = mode;
  facts.firmware_path = TrimText(firmware_path);
  if (image.outcome == ImageLoad::loaded && image.image) {
    facts.firmware_readable = true;
    facts.firmware_bytes = image.bytes;
    facts.firmware_sha256 = Sha256HexOfHexText(*image.image);
    facts.records = RecordCountOfBytes(image.bytes);
    facts.trailing_bytes = TrailingBytes(image.bytes);
    if (const auto span = RecordAddressRange(*image.image)) {
      facts.lowest_address = span->lowest;
      facts.highest_address = span->highest;
    }
  }
  return facts;
}

std::string LogHeaderText(const JobFacts& facts) {
  std::string text = "VEXO " + facts.version + " traffic log; " + facts.started_utc + "; port " +
                     facts.port + " (" + (facts.device.empty() ? "no device" : facts.device) +
                     "); rate " + std::to_string(facts.baud) + "; mode " + ModeName(facts.mode) +
                     "; firmware " + facts.firmware_path;
  if (!facts.firmware_readable) return text + " (cannot be read)";
  return text + "; " + std::to_string(facts.firmware_bytes) + " bytes; sha256 " +
         facts.firmware_sha256 + "; " + std::to_string(facts.records) + " records; " +
         std::to_string(facts.trailing_bytes) + " trailing bytes";
}

}  // namespace vexo

namespace vexo {

JobRecord RecordOf(const JobFacts& facts, JobProgram program, const std::string& model) {
  JobRecord record;
  record.program = program;
  record.program_version = facts.version;
  record.port_chosen = facts.port;
  record.port_device = facts.device;
  record.usb_vid_pid = facts.usb_vid_pid;
  record.usb_product = facts.usb_product;
  record.usb_serial = facts.usb_serial;
  record.usb_path = facts.usb_path;
  record.requested_baud = facts.baud;
  record.used_baud = facts.baud;
  record.model = model;
  record.mode =
      facts.mode == kModeEraseProgramVerify ? JobMode::kEraseProgramVerify : JobMode::kEraseProgram;
  record.firmware_path = facts.firmware_path;
  record.firmware_size = static_cast<std::uint64_t>(facts.firmware_bytes);
  record.firmware_sha256 = facts.firmware_sha256;
  record.record_count = facts.records;
  record.lowest_address = facts.lowest_address;
  record.highest_address = facts.highest_address;
  return record;
}

}  // namespace vexo
