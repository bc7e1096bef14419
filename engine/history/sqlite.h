// A thin owner of SQLite's C objects: a connection and its prepared
// statements, closed and finalized when they go out of scope. Every failing
// call throws SqliteError with SQLite's result code and message, so that a
// transaction can be given up in one place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace ormid::sql {

struct SqliteError {
  int code = 0;  // primary result code (SQLITE_BUSY, SQLITE_CORRUPT, ...)
  std::string text;
  // The system's error number behind an I/O failure (ENOSPC for a full
  // disk), 0 when there is none.
  int systemError = 0;
};

class Statement;

class Database {
 public:
  Database() = default;
  // Opens (or, with create, creates) the file; throws on failure.
  Database(const std::string& path, bool create, bool readOnly = false);
  ~Database();
  Database(Database&& other) noexcept : db_(other.db_) { other.db_ = nullptr; }
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool IsOpen() const { return db_ != nullptr; }
  void Close();
  // Runs statements that return no rows.
  void Execute(const char* sql);
  // The single integer a statement such as "PRAGMA user_version" returns.
  long long Integer(const char* sql);
  void BusyTimeout(int milliseconds);
  long long LastInsertId() const;
  sqlite3* Handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(Database& db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Binding by 1-based parameter index; nullopt binds NULL.
  Statement& Bind(int i, long long v);
  Statement& Bind(int i, std::string_view v);
  Statement& Bind(int i, const std::optional<float>& v);
  Statement& BindDouble(int i, double v);
  Statement& BindBlob(int i, std::string_view bytes);
  Statement& BindNull(int i);

  // Steps once: true while a row is ready, false when done.
  bool Step();
  // Steps to the end and makes the statement ready for new bindings.
  void Run();
  void Reset();

  // The column's storage class: SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT,
  // SQLITE_BLOB or SQLITE_NULL.
  int Type(int column) const;
  bool IsNull(int column) const;
  long long Int(int column) const;
  double Double(int column) const;
  // A REAL column holding a single-precision value, exactly.
  std::optional<float> Float(int column) const;
  std::string Text(int column) const;
  std::string_view TextView(int column) const;
  std::string_view Blob(int column) const;
  int Columns() const;

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Throws SqliteError for a result code that is not OK, ROW or DONE.
void Check(sqlite3* db, int rc);

// BEGIN IMMEDIATE ... COMMIT; rolled back when left without Commit.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Database& db_;
  bool open_ = true;
};

}  // namespace ormid::sql
