// ormid-history-fill DB N: records the history's last run again, through one
// connection as a batch does, until the history holds N runs (the figures
// are the run's own, read back and recorded as a run records them).
// ormid-history-fill --levels DB: the size and time of the last commodity
// run's food rows compressed at each zlib level (the history stores them at
// level 1).
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "core/mod_ormid.h"
#include "core/platform.h"
#include "history/commodity_store.h"
#include "history/run_history.h"

namespace {

using namespace ormid;

std::optional<RecordedRun> LastRun(const std::string& db, bool commodity) {
  std::string error;
  auto runs = ListRuns(db, {}, error);
  if (!runs) {
    std::fprintf(stderr, "ormid-history-fill: %s\n", error.c_str());
    return std::nullopt;
  }
  for (auto it = runs->rbegin(); it != runs->rend(); ++it) {
    if (commodity && it->command != "commodity") continue;
    auto run = LoadRun(db, it->id, error);
    if (!run) std::fprintf(stderr, "ormid-history-fill: %s\n", error.c_str());
    return run;
  }
  std::fprintf(stderr, "ormid-history-fill: %s holds no such run\n", db.c_str());
  return std::nullopt;
}

int Levels(const std::string& db) {
  const auto run = LastRun(db, true);
  if (!run) return 1;
  HistoryRecorder figures;
  ModOrmid m;
  run->Replay(m, figures);
  std::vector<history::PackedSubgroup> packed;
  for (const HistoryRecorder::Subgroup& s : figures.Subgroups())
    packed.push_back({s.row, s.name, s.rows});
  history::StoredCommodity stored;
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  if (!history::StoreCommodity(figures.Items(), packed, stored)) return 1;
  std::size_t text = 0;
  for (const auto& g : stored.subgroups) text += g.foods.size();
  std::printf("food rows as JSON: %zu KB, written in %.1f ms\n", text / 1024,
              std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  for (int level = 1; level <= 9; ++level) {
    std::size_t size = 0;
    const auto begin = Clock::now();
    for (const auto& g : stored.subgroups) {
      uLongf n = compressBound(static_cast<uLong>(g.foods.size()));
      std::string out(n, '\0');
      compress2(reinterpret_cast<Bytef*>(out.data()), &n,
                reinterpret_cast<const Bytef*>(g.foods.data()), static_cast<uLong>(g.foods.size()),
                level);
      size += n;
    }
    std::printf("zlib level %d: %zu KB in %.1f ms\n", level, size / 1024,
                std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--levels") return Levels(argv[2]);
  if (argc != 3) {
    std::fprintf(stderr, "usage: ormid-history-fill DB N | ormid-history-fill --levels DB\n");
    return 2;
  }
  const std::string db = argv[1];
  const long long target = std::stoll(argv[2]);
  std::string error;
  auto runs = ListRuns(db, {}, error);
  const auto run = LastRun(db, false);
  if (!runs || !run) return 1;
  HistoryRecorder figures;
  ModOrmid m;
  run->Replay(m, figures);
  RecordRequest request;
  request.path = db;
  // The day of the runs it stands for (SOURCE_DATE_EPOCH, as ormid-cli
  // takes it), for the day's whole check of the file.
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  request.now = ToDateTime(epoch ? std::atoll(epoch) : static_cast<long long>(std::time(nullptr)),
                           epoch != nullptr);
  HistoryWriter writer(request);
  for (auto count = static_cast<long long>(runs->size()); count < target; ++count) {
    const RecordOutcome o = writer.Record(run->manifest, figures);
    if (!o.recorded) {
      std::fprintf(stderr, "ormid-history-fill: %s\n", o.problem.c_str());
      return 1;
    }
  }
  return 0;
}
