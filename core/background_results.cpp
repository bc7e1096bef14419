#include "core/background_results.h"

namespace ormid {

namespace {

// Rows per batch, and batches waiting at most: the run waits only when the
// sinks fall that far behind, which also bounds the memory held.
constexpr std::size_t kBatchRows = 2048;
constexpr std::size_t kBatchesWaiting = 4;

}  // namespace

BackgroundResults::BackgroundResults(ResultsSink& inner) : inner_(inner) {
  filling_.reserve(kBatchRows);
}

BackgroundResults::~BackgroundResults() {
  Sent();
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BackgroundResults::LongTerm(const ModOrmid& m, const LongTermResult& r) {
  Sent();
  inner_.LongTerm(m, r);
}

void BackgroundResults::Contribution(const ModOrmid& m, const ContributionResult& r) {
  // The first row is handed on at once, on the run's own thread: a sink
  // opens its files on its first row, and opening goes through the
  // platform, which only the run's thread may use.
  if (!m_) {
    m_ = &m;
    inner_.Contribution(m, r);
    return;
  }
  filling_.push_back(r);
  if (filling_.size() >= kBatchRows) Handover();
}

void BackgroundResults::Handover() {
  if (filling_.empty()) return;
  if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return full_.size() < kBatchesWaiting; });
  full_.push_back(std::move(filling_));
  if (!free_.empty()) {
    filling_ = std::move(free_.back());
    free_.pop_back();
  } else {
    filling_ = Batch();
    filling_.reserve(kBatchRows);
  }
  changed_.notify_all();
}

void BackgroundResults::Sent() {
  Handover();
  if (!thread_.joinable()) return;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return full_.empty() && !busy_; });
}

void BackgroundResults::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !full_.empty() || done_; });
    if (full_.empty()) return;
    Batch batch = std::move(full_.front());
    full_.pop_front();
    busy_ = true;
    lock.unlock();
    for (const ContributionResult& r : batch) inner_.Contribution(*m_, r);
    batch.clear();
    lock.lock();
    busy_ = false;
    free_.push_back(std::move(batch));
    changed_.notify_all();
  }
}

}  // namespace ormid
