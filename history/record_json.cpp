#include "history/record_json.h"

#include "history/job_fields.h"

namespace vexo {

nlohmann::json RecordContentJson(const JobRecord& record) {
  nlohmann::json json = nlohmann::json::object();
  for (const JobField& field : JobFields())
    if (field.InContent()) json[field.name] = field.json(record);
  return json;
}

nlohmann::json RecordExportJson(const JobRecord& record) {
  nlohmann::json json = RecordContentJson(record);
  for (const JobField& field : JobFields())
    if (field.InExport() && !field.InContent()) json[field.name] = field.json(record);
  return json;
}

std::string JsonText(const nlohmann::json& json, int indent) {
  return json.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace vexo
