// The run history's file: its schema and how an older one is brought
// forward, the checksums each run carries, and the check of the whole
// file. Used by the recording and the reading in run_history.cpp.
#pragma once

#include <optional>
#include <string>

#include "history/commodity_store.h"
#include "history/recorded_run.h"
#include "history/sqlite.h"

namespace ormid::history {

// A file of a newer program's schema (thrown by Migrate).
struct NewerSchema {
  long long version;
};

// The schema version of an open file. A version Ormid never wrote (below
// 0, or 0 in a file that holds tables) throws SqliteError SQLITE_CORRUPT:
// the file is damaged, not empty.
long long SchemaVersion(sql::Database& db);

// Brings the file to the current schema in one transaction; throws
// NewerSchema for a file of a newer program. A file of schema 4 or earlier
// has its commodity runs stored again (commodity_store.h) and its runs'
// checksums computed; the file is then compacted.
void Migrate(sql::Database& db);

// The statements that write a commodity run's breakdown, prepared once.
struct CommodityWriter {
  explicit CommodityWriter(sql::Database& db);
  // Writes run `id`'s breakdown (the run's row is already in runs).
  void Write(long long id, const StoredCommodity& c);

 private:
  // The id of the item list, added with its descriptions when it is new.
  long long ItemList(const std::vector<RecordedContribution>& items);
  sql::Database& db_;
  sql::Statement findList_, addList_, findDescription_, addDescription_, item_, subgroup_, total_;
};

// Binds a row's reference kind, its dose and the four endpoint figures
// from column `at` on, NULL for each the run has not.
void BindFigures(sql::Statement& s, int at, const RecordedFigures& f);

// CRC-32 of a run's listed columns (id to worst_value), and of everything
// the run is: those, its manifest and every row of its figures (the
// descriptions its items name included), each value with its type.
long long ListChecksum(sql::Database& db, long long id);
// The same of the row a listing statement stands on, whose first columns
// are those listed.
long long ListChecksumOf(const sql::Statement& listing);
long long ContentChecksum(sql::Database& db, long long id);
// Stores both in the run's row.
void SealRun(sql::Database& db, long long id);
// "" when the run's stored checksums (where it has them) are those of what
// it holds; else what differs.
std::string ChecksumProblem(sql::Database& db, long long id);

// The whole file checked: SQLite's quick check of every page, then (in a
// file of schema 5) every run against its checksums. "" when nothing is
// damaged, else the first damage found.
std::string WholeFileProblem(sql::Database& db, long long version);

}  // namespace ormid::history
