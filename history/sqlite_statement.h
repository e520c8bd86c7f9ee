// A prepared SQLite statement that finalizes itself, with parameters bound by
// name (":column") and columns read by index. Used by HistoryStore only; one
// thread at a time per connection. Failures are SQLite result codes; the text
// is sqlite3_errmsg of the connection.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace vexo {

class SqlStatement {
 public:
  SqlStatement(sqlite3* db, const char* sql);
  ~SqlStatement();
  SqlStatement(const SqlStatement&) = delete;
  SqlStatement& operator=(const SqlStatement&) = delete;

  int prepare_code() const { return prepare_code_; }
  bool ok() const { return prepare_code_ == SQLITE_OK; }

  // Parameters the statement does not name are ignored, so one binder can
  // serve an INSERT and an UPDATE of different column sets.
  void Bind(const char* name, std::int64_t value);
  void Bind(const char* name, const std::string& value);
  void BindNull(const char* name);

  int Step();  // SQLITE_ROW, SQLITE_DONE or an error code
  void Reset();

  std::int64_t Int(int column) const;
  std::string Text(int column) const;
  bool IsNull(int column) const;
  // The value as stored: SQLITE_INTEGER, _FLOAT, _TEXT, _BLOB or _NULL, and
  // the exact bytes of a text or blob, without any conversion.
  int Type(int column) const;
  std::string Bytes(int column) const;
  double Real(int column) const;
  int ColumnCount() const;
  std::string ColumnName(int column) const;

 private:
  int Index(const char* name) const;

  sqlite3_stmt* statement_ = nullptr;
  int prepare_code_ = SQLITE_ERROR;
};

// Runs one or more statements that return no rows.
int ExecSql(sqlite3* db, const char* sql);

// Result codes that mean the file is not a sound database.
bool IsCorruptionCode(int code);

}  // namespace vexo
