#include "history/record_json.h"

namespace vexo {

nlohmann::json RecordContentJson(const JobRecord& record) {
  nlohmann::json phases = nlohmann::json::array();
  for (const PhaseRecord& phase : record.phases) {
    phases.push_back({{"name", phase.name},
                      {"started_utc_ms", phase.started_utc_ms},
                      {"duration_ms", phase.duration_ms},
                      {"retries", phase.retries},
                      {"bytes_sent", phase.bytes_sent},
                      {"bytes_received", phase.bytes_received}});
  }
  nlohmann::json first_difference = nullptr;
  if (record.first_difference) first_difference = *record.first_difference;
  return {{"id", record.id},
          {"started_utc_ms", record.started_utc_ms},
          {"ended_utc_ms", record.ended_utc_ms},
          {"program", JobProgramText(record.program)},
          {"program_version", record.program_version},
          {"user_name", record.user_name},
          {"host_name", record.host_name},
          {"port_chosen", record.port_chosen},
          {"port_device", record.port_device},
          {"usb_vid_pid", record.usb_vid_pid},
          {"usb_product", record.usb_product},
          {"usb_serial", record.usb_serial},
          {"usb_path", record.usb_path},
          {"requested_baud", record.requested_baud},
          {"used_baud", record.used_baud},
          {"model", record.model},
          {"mode", JobModeText(record.mode)},
          {"firmware_path", record.firmware_path},
          {"firmware_size", record.firmware_size},
          {"firmware_sha256", record.firmware_sha256},
          {"record_count", record.record_count},
          {"lowest_address", record.lowest_address},
          {"highest_address", record.highest_address},
          {"identity_hex", record.identity_hex},
          {"phases", phases},
          {"pages_compared", record.pages_compared},
          {"first_difference", first_difference},
          {"message_ids", record.message_ids},
          {"result", JobResultText(record.result)},
          {"closing_confirmed", record.closing_confirmed},
          {"downing_declined", record.downing_declined},
          {"exit_status", record.exit_status}};
}

nlohmann::json RecordExportJson(const JobRecord& record) {
  nlohmann::json json = RecordContentJson(record);
  json["chain_hash"] = record.chain_hash;
  return json;
}

std::string JsonText(const nlohmann::json& json, int indent) {
  return json.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace vexo
