// A job's fields (and a phase's), one entry each, in the order a record lists them. The jobs
// table's column lists, the binds, the reader, the record's JSON members and
// the CSV columns are all made from this one list: adding a field is one line
// here (and a schema step for its column). Shared by the store's own files and
// the bench that grows a history; pure functions, no I/O of their own.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "history/job_record.h"
#include "history/sqlite_statement.h"

namespace vexo {

// What a jobs column may hold, as this program writes it.
enum class ColumnDomain {
  kInteger,        // any integer
  kCount,          // an integer >= 0
  kInt32,          // an int of JobRecord
  kAddress,        // 0 .. 2^32-1
  kAddressOrNull,  // the same, or NULL
  kFlag,           // 0 or 1
  kText,           // any text
  kProgram,        // JobProgramText
  kMode,           // JobModeText
  kResult,         // JobResultText
  kChainHash,      // a digest, bare or after kExactDigestMarker
  kNone,           // not a column
};

// A row as read back: the record and its place in the chain.
struct StoredJob {
  JobRecord record;
  std::optional<std::int64_t> chain_seq;
  std::int64_t chain_prev_id = 0;
};

// Where a field lives, and so which lists it is in.
enum class FieldKind {
  kRowId,        // id: a column SQLite numbers; in the record's JSON
  kValue,        // a column the job writes; in the record's JSON
  kChildren,     // rows of a child table (phases, messages); in the record's JSON
  kChainDigest,  // chain_hash: a column the chain writes; exported, not digested
  kChainPlace,   // chain_seq, chain_prev_id: columns only
};

struct JobField {
  const char* name;  // the column, the JSON member and the CSV column
  FieldKind kind;
  ColumnDomain domain;
  // Columns: the record's value bound to a parameter, the value read back.
  void (*bind)(SqlStatement& statement, const char* parameter, const JobRecord& record);
  void (*read)(const SqlStatement& row, int column, StoredJob& job);
  // All but the chain's place: the value as a JSON member.
  nlohmann::json (*json)(const JobRecord& record);

  bool IsColumn() const { return kind != FieldKind::kChildren; }
  // What the digest of rows chained before the exact one covered.
  bool InContent() const {
    return kind == FieldKind::kRowId || kind == FieldKind::kValue || kind == FieldKind::kChildren;
  }
  bool InExport() const { return kind != FieldKind::kChainPlace; }
};

// A phase's fields: the phases columns after job_id and seq, and the members
// of each phase's JSON object, in the order of both.
struct PhaseField {
  const char* name;
  ColumnDomain domain;
  void (*bind)(SqlStatement& statement, const char* parameter, const PhaseRecord& phase);
  void (*read)(const SqlStatement& row, int column, PhaseRecord& phase);
  nlohmann::json (*json)(const PhaseRecord& phase);
};

// Every field, in the order of the CSV export.
std::span<const JobField> JobFields();
// The fields that are jobs columns, in the order of JobColumnsSql.
const std::vector<const JobField*>& JobColumnFields();
// "id, started_utc_ms, ...": the columns ReadJob expects, for a SELECT.
const std::string& JobColumnsSql();

// INSERT of the values a job writes (SQLite numbers the row, the chain comes
// later), or of every column (a finished row written whole).
enum class InsertedColumns { kJobValues, kAll };
std::string InsertJobSql(InsertedColumns columns);
// UPDATE of every column but id, of the open row :id.
std::string UpdateOpenJobSql();
// Binds :name of every column from the record; the chain's columns NULL.
void BindJob(SqlStatement& statement, const JobRecord& record);
// The current row of a SELECT of JobColumnsSql.
StoredJob ReadJob(const SqlStatement& row);

std::span<const PhaseField> PhaseFields();
// "name, started_utc_ms, ...": a phase's own columns, for a SELECT.
const std::string& PhaseColumnsSql();
// INSERT of one phase of :job_id at :seq; BindPhase binds all of it.
std::string InsertPhaseSql();
void BindPhase(SqlStatement& statement, std::int64_t job_id, std::int64_t seq,
               const PhaseRecord& phase);
// A phase from a SELECT of PhaseColumnsSql starting at first_column.
PhaseRecord ReadPhase(const SqlStatement& row, int first_column);

}  // namespace vexo
