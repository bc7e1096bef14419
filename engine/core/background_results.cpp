#include "core/background_results.h"

namespace ormid {

namespace {

// Rows per batch, and batches waiting at most: the run waits only when the
// sinks fall that far behind, which also bounds the memory held.
constexpr std::size_t kBatchRows = 2048;
constexpr std::size_t kBatchesWaiting = 4;

}  // namespace

BackgroundResults::BackgroundResults(ResultsSink& inner) : inner_(inner) {
  filling_.rows.reserve(kBatchRows);
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
  filling_.rows.push_back(r);
  if (filling_.rows.size() >= kBatchRows) Handover();
}

bool BackgroundResults::SendBehind(std::function<void(ResultsSink&)> send) {
  if (!m_) return false;
  Handover();
  Batch batch;
  batch.send = std::move(send);
  Queue(std::move(batch));
  return true;
}

void BackgroundResults::Handover() {
  if (filling_.rows.empty()) return;
  Batch full = std::move(filling_);
  filling_ = Batch();
  {
    std::lock_guard lock(mutex_);
    if (!free_.empty()) {
      filling_ = std::move(free_.back());
      free_.pop_back();
    }
  }
  if (filling_.rows.capacity() < kBatchRows) filling_.rows.reserve(kBatchRows);
  Queue(std::move(full));
}

void BackgroundResults::Queue(Batch batch) {
  if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return full_.size() < kBatchesWaiting; });
  full_.push_back(std::move(batch));
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
    for (const ContributionResult& r : batch.rows) inner_.Contribution(*m_, r);
    if (batch.send) batch.send(inner_);
    const bool rows = !batch.rows.empty();
    batch.rows.clear();
    batch.send = nullptr;
    lock.lock();
    busy_ = false;
    if (rows) free_.push_back(std::move(batch));
    changed_.notify_all();
  }
}

}  // namespace ormid
