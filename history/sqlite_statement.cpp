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

int ExecSql(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

bool IsCorruptionCode(int code) {
  const int primary = code & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

}  // namespace vexo
