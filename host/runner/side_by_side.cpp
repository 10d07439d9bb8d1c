#include "runner/side_by_side.h"

#include <algorithm>
#include <system_error>

namespace rawout {

SideBySide::SideBySide(const std::vector<const Check*>& checks, std::size_t first, unsigned jobs,
                       Run run)
    : checks_(checks), slots_(checks.size()), run_(std::move(run)) {
  for (std::size_t index = first; index < checks.size(); ++index) {
    order_.push_back(index);
  }
  std::stable_partition(order_.begin(), order_.end(),
                        [&checks](std::size_t index) { return checks[index]->savesLargeBlocks; });
  const std::size_t workers = std::min<std::size_t>(jobs, order_.size());
  try {
    for (std::size_t worker = 0; worker < workers; ++worker) {
      workers_.emplace_back([this] { work(); });
    }
  } catch (const std::system_error&) {
    // No thread for now (a process limit reached): the ones made do the work, or none does.
  }
}

SideBySide::~SideBySide() {
  {
    const std::lock_guard<std::mutex> held(lock_);
    stopped_ = true;
  }
  for (std::thread& worker : workers_) {
    worker.join();
  }
}

Verdict SideBySide::verdict(std::size_t index) {
  std::unique_lock<std::mutex> held(lock_);
  done_.wait(held, [&] { return slots_[index].done || (stopped_ && !slots_[index].started); });
  if (!slots_[index].done) {
    if (stoppedBy_.error) {
      std::rethrow_exception(stoppedBy_.error);
    }
    return Verdict::skip("the plug-in cannot be loaded: " + stoppedBy_.verdict.text);
  }
  if (slots_[index].error) {
    std::rethrow_exception(slots_[index].error);
  }
  return slots_[index].verdict;
}

void SideBySide::work() {
  for (;;) {
    std::size_t index = 0;
    {
      const std::lock_guard<std::mutex> held(lock_);
      if (stopped_ || next_ == order_.size()) {
        return;
      }
      index = order_[next_++];
      slots_[index].started = true;
    }
    Verdict verdict;
    std::exception_ptr error;
    try {
      verdict = run_(*checks_[index]);
    } catch (...) {
      error = std::current_exception();
    }
    {
      const std::lock_guard<std::mutex> held(lock_);
      if (!stopped_ && (error || verdict.kind == Verdict::Kind::NotLoaded)) {
        stopped_ = true;
        stoppedBy_ = {true, true, verdict, error};
      }
      slots_[index].done = true;
      slots_[index].verdict = std::move(verdict);
      slots_[index].error = error;
    }
    done_.notify_all();
  }
}

}  // namespace rawout
