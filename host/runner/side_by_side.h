// Checks run side by side, each on a thread of its own that waits for its check process.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "checks/check.h"

namespace rawout {

// The checks from `first` on, up to `jobs` at a time, those that save large blocks started first
// so that no long one is left to run alone at the end. Verdicts are asked for in the checks'
// order. After a verdict that the plug-in cannot be loaded, or exporthost's own trouble, no
// further check starts; the running ones end first.
class SideBySide {
 public:
  using Run = std::function<Verdict(const Check&)>;
  SideBySide(const std::vector<const Check*>& checks, std::size_t first, unsigned jobs, Run run);
  SideBySide(const SideBySide&) = delete;
  SideBySide& operator=(const SideBySide&) = delete;
  ~SideBySide();

  // Whether a thread works through them; when none could be made, the caller runs them.
  [[nodiscard]] bool working() const { return !workers_.empty(); }

  // The verdict of check `index`, once it is in; rethrows what the check threw. A check that
  // never started, the others stopped by a check started before it, shares that one's end:
  // its trouble, or a skip for a plug-in that could not be loaded.
  Verdict verdict(std::size_t index);

 private:
  struct Slot {
    bool started = false;
    bool done = false;
    Verdict verdict;
    std::exception_ptr error;
  };

  void work();

  const std::vector<const Check*>& checks_;
  std::vector<std::size_t> order_;  // the order they start in
  std::mutex lock_;
  std::condition_variable done_;
  std::size_t next_ = 0;
  bool stopped_ = false;
  Slot stoppedBy_;  // the end of the check that stopped the others
  std::vector<Slot> slots_;
  Run run_;
  std::vector<std::thread> workers_;
};

}  // namespace rawout
