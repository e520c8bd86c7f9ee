#include "history/sqlite_statement.h"

namespace vexo {

SqlStatement::SqlStatement(sqlite3* db, const char* sql) {
  prepare_code_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
}

SqlStatement::~SqlStatement() {
  sqlite3_finalize(statement_);
}

int SqlStatement::Index(const char* name) const {
  return statement_ ? sqlite3_bind_parameter_index(statement_, name) : 0;
}

void SqlStatement::Bind(const char* name, std::int64_t value) {
  if (const int index = Index(name)) sqlite3_bind_int64(statement_, index, value);
}

void SqlStatement::Bind(const char* name, const std::string& value) {
  if (const int index = Index(name))
    sqlite3_bind_text(statement_, index, value.data(), static_cast<int>(value.size()),
                      SQLITE_TRANSIENT);
}

void SqlStatement::BindNull(const char* name) {
  if (const int index = Index(name)) sqlite3_bind_null(statement_, index);
}

int SqlStatement::Step() {
  return statement_ ? sqlite3_step(statement_) : prepare_code_;
}

void SqlStatement::Reset() {
  if (!statement_) return;
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

std::int64_t SqlStatement::Int(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::string SqlStatement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  if (!text) return {};
  return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

bool SqlStatement::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

int SqlStatement::Type(int column) const {
  return sqlite3_column_type(statement_, column);
}

std::string SqlStatement::Bytes(int column) const {
  // The type first: asking for the bytes converts nothing only when the
  // value already is text or a blob.
  const int type = Type(column);
  if (type != SQLITE_TEXT && type != SQLITE_BLOB) return {};
  const void* data = type == SQLITE_TEXT
                         ? static_cast<const void*>(sqlite3_column_text(statement_, column))
                         : sqlite3_column_blob(statement_, column);
  if (!data) return {};
  return std::string(static_cast<const char*>(data),
                     static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

double SqlStatement::Real(int column) const {
  return sqlite3_column_double(statement_, column);
}

int SqlStatement::ColumnCount() const {
  return statement_ ? sqlite3_column_count(statement_) : 0;
}

std::string SqlStatement::ColumnName(int column) const {
  const char* name = statement_ ? sqlite3_column_name(statement_, column) : nullptr;
  return name ? name : "";
}

int ExecSql(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

bool IsCorruptionCode(int code) {
  const int primary = code & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

}  // namespace vexo
