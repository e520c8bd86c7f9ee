#include "history/job_fields.h"

namespace vexo {
namespace {

// How a member of each type is bound, read back and exported.
template <typename T>
struct Column;

template <>
struct Column<std::string> {
  static void Bind(SqlStatement& s, const char* p, const std::string& v) { s.Bind(p, v); }
  static std::string Read(const SqlStatement& row, int c) { return row.Text(c); }
  static nlohmann::json Json(const std::string& v) { return v; }
};

// The integers of a record: stored as SQLite's 64-bit integer, read back by a
// plain conversion, exported with their own signedness.
template <typename T>
struct IntegerColumn {
  static void Bind(SqlStatement& s, const char* p, T v) { s.Bind(p, static_cast<std::int64_t>(v)); }
  static T Read(const SqlStatement& row, int c) { return static_cast<T>(row.Int(c)); }
  static nlohmann::json Json(T v) { return v; }
};
template <>
struct Column<int> : IntegerColumn<int> {};
template <>
struct Column<std::int64_t> : IntegerColumn<std::int64_t> {};
template <>
struct Column<std::uint32_t> : IntegerColumn<std::uint32_t> {};
template <>
struct Column<std::uint64_t> : IntegerColumn<std::uint64_t> {};

template <>
struct Column<bool> {
  static void Bind(SqlStatement& s, const char* p, bool v) { s.Bind(p, v ? 1 : 0); }
  static bool Read(const SqlStatement& row, int c) { return row.Int(c) != 0; }
  static nlohmann::json Json(bool v) { return v; }
};

template <typename T>
struct Column<std::optional<T>> {
  static void Bind(SqlStatement& s, const char* p, const std::optional<T>& v) {
    if (v)
      Column<T>::Bind(s, p, *v);
    else
      s.BindNull(p);
  }
  static std::optional<T> Read(const SqlStatement& row, int c) {
    if (row.IsNull(c)) return std::nullopt;
    return Column<T>::Read(row, c);
  }
  static nlohmann::json Json(const std::optional<T>& v) {
    return v ? Column<T>::Json(*v) : nlohmann::json(nullptr);
  }
};

// Enumerations by their text; a text this program does not know reads as
// the record's default.
template <typename T, auto Text, auto Parse, T kUnknown>
struct EnumColumn {
  static void Bind(SqlStatement& s, const char* p, T v) { s.Bind(p, std::string(Text(v))); }
  static T Read(const SqlStatement& row, int c) { return Parse(row.Text(c)).value_or(kUnknown); }
  static nlohmann::json Json(T v) { return std::string(Text(v)); }
};
template <>
struct Column<JobProgram>
    : EnumColumn<JobProgram, JobProgramText, ParseJobProgram, JobRecord{}.program> {};
template <>
struct Column<JobMode> : EnumColumn<JobMode, JobModeText, ParseJobMode, JobRecord{}.mode> {};
template <>
struct Column<JobResult>
    : EnumColumn<JobResult, JobResultText, ParseJobResult, JobRecord{}.result> {};

// The type of the member a pointer to member names.
template <typename T>
struct MemberOf;
template <typename Owner, typename T>
struct MemberOf<T Owner::*> {
  using type = T;
};
template <auto Member>
using MemberType = typename MemberOf<decltype(Member)>::type;

// A member of JobRecord kept in a jobs column.
template <auto Member>
constexpr JobField RecordColumn(const char* name, ColumnDomain domain,
                                FieldKind kind = FieldKind::kValue) {
  using C = Column<MemberType<Member>>;
  return {
      name,
      kind,
      domain,
      [](SqlStatement& s, const char* p, const JobRecord& r) { C::Bind(s, p, r.*Member); },
      [](const SqlStatement& row, int c, StoredJob& job) { job.record.*Member = C::Read(row, c); },
      [](const JobRecord& r) { return C::Json(r.*Member); }};
}

// The chain's place, kept beside the record: written by the chain alone.
template <auto Member>
constexpr JobField ChainPlaceColumn(const char* name, ColumnDomain domain) {
  using C = Column<MemberType<Member>>;
  return {name,
          FieldKind::kChainPlace,
          domain,
          nullptr,
          [](const SqlStatement& row, int c, StoredJob& job) { job.*Member = C::Read(row, c); },
          nullptr};
}

// A member of PhaseRecord kept in a phases column.
template <auto Member>
constexpr PhaseField PhaseColumn(const char* name, ColumnDomain domain) {
  using C = Column<MemberType<Member>>;
  return {name, domain,
          [](SqlStatement& s, const char* p, const PhaseRecord& r) { C::Bind(s, p, r.*Member); },
          [](const SqlStatement& row, int c, PhaseRecord& r) { r.*Member = C::Read(row, c); },
          [](const PhaseRecord& r) { return C::Json(r.*Member); }};
}

constexpr PhaseField kPhaseFields[] = {
    PhaseColumn<&PhaseRecord::name>("name", ColumnDomain::kText),
    PhaseColumn<&PhaseRecord::started_utc_ms>("started_utc_ms", ColumnDomain::kInteger),
    PhaseColumn<&PhaseRecord::duration_ms>("duration_ms", ColumnDomain::kInteger),
    PhaseColumn<&PhaseRecord::retries>("retries", ColumnDomain::kInt32),
    PhaseColumn<&PhaseRecord::bytes_sent>("bytes_sent", ColumnDomain::kCount),
    PhaseColumn<&PhaseRecord::bytes_received>("bytes_received", ColumnDomain::kCount),
};

nlohmann::json PhasesJson(const JobRecord& record) {
  nlohmann::json phases = nlohmann::json::array();
  for (const PhaseRecord& phase : record.phases) {
    nlohmann::json json = nlohmann::json::object();
    for (const PhaseField& field : kPhaseFields) json[field.name] = field.json(phase);
    phases.push_back(std::move(json));
  }
  return phases;
}

// Kept in a child table of its own, read and written with the row's children.
constexpr JobField Children(const char* name, nlohmann::json (*json)(const JobRecord&)) {
  return {name, FieldKind::kChildren, ColumnDomain::kNone, nullptr, nullptr, json};
}

using R = JobRecord;
using D = ColumnDomain;

// The jobs columns keep the order the SELECTs have always had (the exact
// digest covers the columns in that order); the schema's own order differs.
constexpr JobField kFields[] = {
    RecordColumn<&R::id>("id", D::kCount, FieldKind::kRowId),
    RecordColumn<&R::started_utc_ms>("started_utc_ms", D::kInteger),
    RecordColumn<&R::ended_utc_ms>("ended_utc_ms", D::kInteger),
    RecordColumn<&R::program>("program", D::kProgram),
    RecordColumn<&R::program_version>("program_version", D::kText),
    RecordColumn<&R::user_name>("user_name", D::kText),
    RecordColumn<&R::host_name>("host_name", D::kText),
    RecordColumn<&R::port_chosen>("port_chosen", D::kText),
    RecordColumn<&R::port_device>("port_device", D::kText),
    RecordColumn<&R::usb_vid_pid>("usb_vid_pid", D::kText),
    RecordColumn<&R::usb_product>("usb_product", D::kText),
    RecordColumn<&R::usb_serial>("usb_serial", D::kText),
    RecordColumn<&R::usb_path>("usb_path", D::kText),
    RecordColumn<&R::requested_baud>("requested_baud", D::kInt32),
    RecordColumn<&R::used_baud>("used_baud", D::kInt32),
    RecordColumn<&R::model>("model", D::kText),
    RecordColumn<&R::mode>("mode", D::kMode),
    RecordColumn<&R::firmware_path>("firmware_path", D::kText),
    RecordColumn<&R::firmware_size>("firmware_size", D::kCount),
    RecordColumn<&R::firmware_sha256>("firmware_sha256", D::kText),
    RecordColumn<&R::record_count>("record_count", D::kInt32),
    RecordColumn<&R::lowest_address>("lowest_address", D::kAddress),
    RecordColumn<&R::highest_address>("highest_address", D::kAddress),
    RecordColumn<&R::identity_hex>("identity_hex", D::kText),
    Children("phases", PhasesJson),
    RecordColumn<&R::pages_compared>("pages_compared", D::kInt32),
    RecordColumn<&R::first_difference>("first_difference", D::kAddressOrNull),
    Children("message_ids", [](const JobRecord& r) { return nlohmann::json(r.message_ids); }),
    RecordColumn<&R::result>("result", D::kResult),
    RecordColumn<&R::closing_confirmed>("closing_confirmed", D::kFlag),
    RecordColumn<&R::downing_declined>("downing_declined", D::kFlag),
    RecordColumn<&R::exit_status>("exit_status", D::kInt32),
    RecordColumn<&R::chain_hash>("chain_hash", D::kChainHash, FieldKind::kChainDigest),
    ChainPlaceColumn<&StoredJob::chain_seq>("chain_seq", D::kCount),
    ChainPlaceColumn<&StoredJob::chain_prev_id>("chain_prev_id", D::kCount),
};

std::string Parameter(const JobField& field) {
  return std::string(":") + field.name;
}

}  // namespace

std::span<const JobField> JobFields() {
  return kFields;
}

std::span<const PhaseField> PhaseFields() {
  return kPhaseFields;
}

const std::string& PhaseColumnsSql() {
  static const std::string sql = [] {
    std::string list;
    for (const PhaseField& field : kPhaseFields)
      list += (list.empty() ? "" : ", ") + std::string(field.name);
    return list;
  }();
  return sql;
}

std::string InsertPhaseSql() {
  std::string values;
  for (const PhaseField& field : kPhaseFields) values += std::string(", :") + field.name;
  return "INSERT INTO phases (job_id, seq, " + PhaseColumnsSql() + ") VALUES (:job_id, :seq" +
         values + ")";
}

void BindPhase(SqlStatement& statement, std::int64_t job_id, std::int64_t seq,
               const PhaseRecord& phase) {
  statement.Bind(":job_id", job_id);
  statement.Bind(":seq", seq);
  for (const PhaseField& field : kPhaseFields)
    field.bind(statement, (std::string(":") + field.name).c_str(), phase);
}

PhaseRecord ReadPhase(const SqlStatement& row, int first_column) {
  PhaseRecord phase;
  int column = first_column;
  for (const PhaseField& field : kPhaseFields) field.read(row, column++, phase);
  return phase;
}

const std::vector<const JobField*>& JobColumnFields() {
  static const std::vector<const JobField*> columns = [] {
    std::vector<const JobField*> list;
    for (const JobField& field : kFields)
      if (field.IsColumn()) list.push_back(&field);
    return list;
  }();
  return columns;
}

const std::string& JobColumnsSql() {
  static const std::string sql = [] {
    std::string list;
    for (const JobField* field : JobColumnFields())
      list += (list.empty() ? "" : ", ") + std::string(field->name);
    return list;
  }();
  return sql;
}

std::string InsertJobSql(InsertedColumns inserted) {
  std::string columns;
  std::string values;
  for (const JobField* field : JobColumnFields()) {
    if (inserted == InsertedColumns::kJobValues && field->kind != FieldKind::kValue) continue;
    columns += (columns.empty() ? "" : ", ") + std::string(field->name);
    values += (values.empty() ? "" : ", ") + Parameter(*field);
  }
  return "INSERT INTO jobs (" + columns + ") VALUES (" + values + ")";
}

// Only rows not yet chained may change: a finished row is history.
std::string UpdateOpenJobSql() {
  std::string set;
  for (const JobField* field : JobColumnFields()) {
    if (field->kind == FieldKind::kRowId) continue;
    set += (set.empty() ? "" : ", ") + std::string(field->name) + " = " + Parameter(*field);
  }
  return "UPDATE jobs SET " + set + " WHERE id = :id AND chain_seq IS NULL";
}

void BindJob(SqlStatement& statement, const JobRecord& record) {
  for (const JobField* field : JobColumnFields()) {
    const std::string parameter = Parameter(*field);
    if (field->kind == FieldKind::kChainDigest || field->kind == FieldKind::kChainPlace)
      statement.BindNull(parameter.c_str());
    else
      field->bind(statement, parameter.c_str(), record);
  }
}

StoredJob ReadJob(const SqlStatement& row) {
  StoredJob stored;
  int column = 0;
  for (const JobField* field : JobColumnFields()) field->read(row, column++, stored);
  return stored;
}

}  // namespace vexo
