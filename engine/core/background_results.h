// Hands a run's figures to sinks on a thread of their own, so that what the
// sinks do with them (exports formatted and written, figures packed for the
// run history) goes on beside the run instead of after each row.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/run_results.h"

namespace ormid {

// The rows are handed on in the order they were sent, in batches, the first
// one at once on the run's thread (sinks open their files on it). Sinks
// behind it must not look at the run's state (the ModOrmid they are given
// is the run's, which goes on changing): the exports and the run history
// use only the rows. After the first row, a run may have its rows made on
// the sinks' thread as well (SendBehind), from what it no longer changes.
class BackgroundResults : public ResultsSink {
 public:
  explicit BackgroundResults(ResultsSink& inner);
  ~BackgroundResults() override;
  BackgroundResults(const BackgroundResults&) = delete;
  BackgroundResults& operator=(const BackgroundResults&) = delete;

  // Long-term rows are few: they are handed on at once, after every row
  // sent before them.
  void LongTerm(const ModOrmid& m, const LongTermResult& r) override;
  void Contribution(const ModOrmid& m, const ContributionResult& r) override;
  bool TotalsOnly() const override { return inner_.TotalsOnly(); }
  // Once the first row has been handed on, rows are made on the thread
  // that takes them, in their turn.
  bool SendBehind(std::function<void(ResultsSink&)> send) override;
  // Waits until the inner sinks have taken every row sent.
  void Sent() override;

 private:
  // Rows sent, or rows to make, in their turn.
  struct Batch {
    std::vector<ContributionResult> rows;
    std::function<void(ResultsSink&)> send;
  };
  void Handover();
  void Queue(Batch batch);
  void Work();

  ResultsSink& inner_;
  const ModOrmid* m_ = nullptr;
  Batch filling_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> full_;
  std::vector<Batch> free_;
  bool busy_ = false;  // the worker is handing a batch on
  bool done_ = false;
};

}  // namespace ormid
