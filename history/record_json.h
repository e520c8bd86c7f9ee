// A JobRecord as a JSON object with one member per recorded field (phases and
// messages as arrays). The same form is exported and digested for the chain,
// so its member names are part of the history's format. Pure functions.
#pragma once

#include <nlohmann/json.hpp>

#include "history/job_record.h"

namespace vexo {

// Every field but chain_hash, which is derived from this form.
nlohmann::json RecordContentJson(const JobRecord& record);
// The content plus chain_hash, for export.
nlohmann::json RecordExportJson(const JobRecord& record);

// Serialised text. Texts the user typed or the system reported may hold bytes
// that are not UTF-8; those are replaced rather than failing the record.
std::string JsonText(const nlohmann::json& json, int indent = -1);

}  // namespace vexo
