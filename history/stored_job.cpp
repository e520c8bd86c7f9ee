#include "history/stored_job.h"

#include <cstring>
#include <limits>

#include "history/record_json.h"
#include "history/sha256.h"

namespace vexo {
namespace {

constexpr std::size_t kShownTextBytes = 40;

std::string Describe(const SqlStatement& row, int column) {
  switch (row.Type(column)) {
    case SQLITE_INTEGER:
      return std::to_string(row.Int(column));
    case SQLITE_FLOAT:
      return "the real number " + std::to_string(row.Real(column));
    case SQLITE_TEXT: {
      const std::string text = row.Bytes(column);
      return "the text '" + text.substr(0, kShownTextBytes) +
             (text.size() > kShownTextBytes ? "...'" : "'");
    }
    case SQLITE_BLOB:
      return "a blob of " + std::to_string(row.Bytes(column).size()) + " bytes";
    default:
      return "NULL";
  }
}

bool IsHex(const std::string& text) {
  return text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

template <typename Parse>
bool ParsesExactly(const SqlStatement& row, int column, Parse parse) {
  return row.Type(column) == SQLITE_TEXT && parse(row.Bytes(column)).has_value();
}

bool InRange(const SqlStatement& row, int column, std::int64_t low, std::int64_t high) {
  return row.Type(column) == SQLITE_INTEGER && row.Int(column) >= low && row.Int(column) <= high;
}

// Each value as its storage type, a length where it has one, and its bytes:
// no two different stored values give the same text.
void AppendStored(std::string& out, const SqlStatement& row, int column) {
  out += row.ColumnName(column);
  switch (row.Type(column)) {
    case SQLITE_INTEGER:
      out += "=I" + std::to_string(row.Int(column));
      break;
    case SQLITE_FLOAT: {
      const double value = row.Real(column);
      std::uint64_t bits = 0;
      std::memcpy(&bits, &value, sizeof bits);
      out += "=R" + std::to_string(bits);
      break;
    }
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const std::string bytes = row.Bytes(column);
      out += (row.Type(column) == SQLITE_TEXT ? "=T" : "=B") + std::to_string(bytes.size()) + ":" +
             bytes;
      break;
    }
    default:
      out += "=N";
  }
  out += '\n';
}

// The children of a row with what each of their columns may hold.
struct ChildTable {
  std::string sql;
  const char* table;
  std::vector<ColumnDomain> domains;
};

const std::vector<ChildTable>& ChildTables() {
  static const std::vector<ChildTable> tables = [] {
    ChildTable phases{
        "SELECT seq, " + PhaseColumnsSql() + " FROM phases WHERE job_id = :id ORDER BY seq",
        "phases",
        {ColumnDomain::kCount}};
    for (const PhaseField& field : PhaseFields()) phases.domains.push_back(field.domain);
    ChildTable messages{"SELECT seq, text_id FROM messages WHERE job_id = :id ORDER BY seq",
                        "messages",
                        {ColumnDomain::kCount, ColumnDomain::kInt32}};
    return std::vector<ChildTable>{std::move(phases), std::move(messages)};
  }();
  return tables;
}

}  // namespace

bool ReadChildren(sqlite3* db, std::vector<StoredJob>& jobs) {
  const std::string phase_sql =
      "SELECT " + PhaseColumnsSql() + " FROM phases WHERE job_id = :id ORDER BY seq";
  SqlStatement phase(db, phase_sql.c_str());
  SqlStatement message(db, "SELECT text_id FROM messages WHERE job_id = :id ORDER BY seq");
  for (StoredJob& job : jobs) {
    phase.Reset();
    phase.Bind(":id", job.record.id);
    int step;
    while ((step = phase.Step()) == SQLITE_ROW) job.record.phases.push_back(ReadPhase(phase, 0));
    if (step != SQLITE_DONE) return false;
    message.Reset();
    message.Bind(":id", job.record.id);
    while ((step = message.Step()) == SQLITE_ROW)
      job.record.message_ids.push_back(static_cast<int>(message.Int(0)));
    if (step != SQLITE_DONE) return false;
  }
  return true;
}

std::string ChainDigest(const ChainLink& link, const JobRecord& record) {
  return Sha256Hex(link.prev_hash + "\n" + std::to_string(link.seq) + "\n" +
                   std::to_string(link.prev_id) + "\n" + JsonText(RecordContentJson(record)));
}

}  // namespace vexo

namespace vexo {

std::optional<std::string> OutOfDomain(const SqlStatement& row, int column, ColumnDomain domain) {
  constexpr std::int64_t kMaxAddress = std::numeric_limits<std::uint32_t>::max();
  bool fits = false;
  const char* wanted = "";
  switch (domain) {
    case ColumnDomain::kInteger:
      fits = row.Type(column) == SQLITE_INTEGER;
      wanted = "an integer";
      break;
    case ColumnDomain::kCount:
      fits = InRange(row, column, 0, std::numeric_limits<std::int64_t>::max());
      wanted = "an integer from 0";
      break;
    case ColumnDomain::kInt32:
      fits = InRange(row, column, std::numeric_limits<std::int32_t>::min(),
                     std::numeric_limits<std::int32_t>::max());
      wanted = "a 32-bit integer";
      break;
    case ColumnDomain::kAddressOrNull:
      if (row.Type(column) == SQLITE_NULL) return std::nullopt;
      [[fallthrough]];
    case ColumnDomain::kAddress:
      fits = InRange(row, column, 0, kMaxAddress);
      wanted = "an address from 0 to 4294967295";
      break;
    case ColumnDomain::kFlag:
      fits = InRange(row, column, 0, 1);
      wanted = "0 or 1";
      break;
    case ColumnDomain::kText:
      fits = row.Type(column) == SQLITE_TEXT;
      wanted = "text";
      break;
    case ColumnDomain::kProgram:
      fits = ParsesExactly(row, column, ParseJobProgram);
      wanted = "window or command-line";
      break;
    case ColumnDomain::kMode:
      fits = ParsesExactly(row, column, ParseJobMode);
      wanted = "E.P or E.P.R";
      break;
    case ColumnDomain::kResult:
      fits = ParsesExactly(row, column, ParseJobResult);
      wanted = "a job result";
      break;
    case ColumnDomain::kChainHash: {
      const std::string hash = row.Bytes(column);
      const std::size_t marker = std::strlen(kExactDigestMarker);
      const bool exact = hash.compare(0, marker, kExactDigestMarker) == 0;
      const std::string hex = exact ? hash.substr(marker) : hash;
      fits = row.Type(column) == SQLITE_TEXT && hex.size() == kSha256HexChars && IsHex(hex);
      wanted = "a digest";
      break;
    }
    case ColumnDomain::kNone:
      return std::nullopt;
  }
  if (fits) return std::nullopt;
  return "holds " + Describe(row, column) + " where " + wanted + " belongs";
}

StoredContentReader::StoredContentReader(sqlite3* db) {
  for (const ChildTable& child : ChildTables())
    children_.push_back(std::make_unique<SqlStatement>(db, child.sql.c_str()));
}

int StoredContentReader::Read(const SqlStatement& row, std::string& content,
                              std::string& out_of_domain) {
  int column = 0;
  for (const JobField* field : JobColumnFields()) {
    if (field->kind != FieldKind::kChainDigest) AppendStored(content, row, column);
    ++column;
  }
  for (std::size_t c = 0; c < children_.size(); ++c) {
    const ChildTable& child = ChildTables()[c];
    SqlStatement& select = *children_[c];
    select.Reset();
    select.Bind(":id", row.Int(0));
    int step;
    while ((step = select.Step()) == SQLITE_ROW) {
      int column = 0;
      for (const ColumnDomain domain : child.domains) {
        if (auto why = OutOfDomain(select, column, domain); why && out_of_domain.empty()) {
          out_of_domain = std::string(child.table) + "." + select.ColumnName(column) + " (seq " +
                          std::to_string(select.Int(0)) + ") " + *why;
        }
        AppendStored(content, select, column++);
      }
    }
    if (step != SQLITE_DONE) return step;
    content += child.table;
    content += " end\n";
  }
  return SQLITE_DONE;
}

std::string ExactChainDigest(const ChainLink& link, const std::string& content) {
  return Sha256Hex(link.prev_hash + "\n" + std::to_string(link.seq) + "\n" +
                   std::to_string(link.prev_id) + "\n" + content);
}

std::string DigestHex(const std::string& chain_hash) {
  const std::size_t marker = std::strlen(kExactDigestMarker);
  return chain_hash.compare(0, marker, kExactDigestMarker) == 0 ? chain_hash.substr(marker)
                                                                : chain_hash;
}

}  // namespace vexo
