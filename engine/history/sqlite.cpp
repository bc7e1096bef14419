#include "history/sqlite.h"

#include <sqlite3.h>

namespace ormid::sql {

namespace {

SqliteError ErrorOf(sqlite3* db, int rc) {
  return {rc & 0xff, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc),
          db ? sqlite3_system_errno(db) : 0};
}

}  // namespace

void Check(sqlite3* db, int rc) {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return;
  throw ErrorOf(db, rc);
}

Database::Database(const std::string& path, bool create, bool readOnly) {
  int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (create && !readOnly) flags |= SQLITE_OPEN_CREATE;
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    SqliteError e = ErrorOf(db_, rc);
    Close();
    throw e;
  }
  sqlite3_extended_result_codes(db_, 0);
}

Database::~Database() {
  Close();
}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = other.db_;
    other.db_ = nullptr;
  }
  return *this;
}

void Database::Close() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void Database::Execute(const char* sql) {
  char* message = nullptr;
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    throw SqliteError{rc & 0xff, text, sqlite3_system_errno(db_)};
  }
}

long long Database::Integer(const char* sql) {
  Statement s(*this, sql);
  return s.Step() ? s.Int(0) : 0;
}

void Database::BusyTimeout(int milliseconds) {
  Check(db_, sqlite3_busy_timeout(db_, milliseconds));
}

long long Database::LastInsertId() const {
  return sqlite3_last_insert_rowid(db_);
}

Statement::Statement(Database& db, const char* sql) : db_(db.Handle()) {
  Check(db_, sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr));
}

Statement::~Statement() {
  sqlite3_finalize(stmt_);
}

Statement& Statement::Bind(int i, long long v) {
  Check(db_, sqlite3_bind_int64(stmt_, i, v));
  return *this;
}

Statement& Statement::Bind(int i, std::string_view v) {
  Check(db_, sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
  return *this;
}

Statement& Statement::Bind(int i, const std::optional<float>& v) {
  return v ? BindDouble(i, *v) : BindNull(i);
}

Statement& Statement::BindDouble(int i, double v) {
  Check(db_, sqlite3_bind_double(stmt_, i, v));
  return *this;
}

Statement& Statement::BindBlob(int i, std::string_view bytes) {
  Check(db_,
        sqlite3_bind_blob(stmt_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC));
  return *this;
}

Statement& Statement::BindNull(int i) {
  Check(db_, sqlite3_bind_null(stmt_, i));
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  SqliteError e = ErrorOf(db_, rc);
  sqlite3_reset(stmt_);
  throw e;
}

void Statement::Run() {
  while (Step()) {
  }
  Reset();
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int Statement::Type(int column) const {
  return sqlite3_column_type(stmt_, column);
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

long long Statement::Int(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

double Statement::Double(int column) const {
  return sqlite3_column_double(stmt_, column);
}

std::optional<float> Statement::Float(int column) const {
  if (IsNull(column)) return std::nullopt;
  // The column holds a float widened to double: narrowing it back is exact.
  return static_cast<float>(sqlite3_column_double(stmt_, column));
}

std::string Statement::Text(int column) const {
  const unsigned char* t = sqlite3_column_text(stmt_, column);
  return t ? std::string(reinterpret_cast<const char*>(t),
                         static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
           : std::string();
}

std::string_view Statement::TextView(int column) const {
  const unsigned char* t = sqlite3_column_text(stmt_, column);
  return t ? std::string_view(reinterpret_cast<const char*>(t),
                              static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
           : std::string_view();
}

int Statement::Columns() const {
  return sqlite3_column_count(stmt_);
}

std::string_view Statement::Blob(int column) const {
  const void* b = sqlite3_column_blob(stmt_, column);
  return b ? std::string_view(static_cast<const char*>(b),
                              static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
           : std::string_view();
}

Transaction::Transaction(Database& db) : db_(db) {
  db_.Execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
  if (open_) {
    try {
      db_.Execute("ROLLBACK");
    } catch (const SqliteError&) {
      // A failed statement may already have ended the transaction.
    }
  }
}

void Transaction::Commit() {
  db_.Execute("COMMIT");
  open_ = false;
}

}  // namespace ormid::sql
