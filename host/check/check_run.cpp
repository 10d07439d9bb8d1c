#include "check/check_run.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "check/display.h"
#include "check/parent_check.h"
#include "check/parent_spawn.h"
#include "check/protocol.h"
#include "check/registry.h"
#include "support/interruptible.h"
#include "support/paths.h"
#include "support/quoted_name.h"
#include "support/scratch_folder.h"

namespace rawout {

namespace {

Verdict checkInProcess(const CheckOptions& options, const Check& check, const ExportPlugin& plugin,
                       const CheckFolder& folder) {
  makeFolder(folder.files());
  return verdictOf(check,
                   {plugin, folder.files(), folder.hostFiles(), options.content, options.random});
}

// Copies a failing check's folder (the plug-in's files, the host's blocks and expected files, the
// working folder) to `kept`, which must not be there yet: nothing of the user's is replaced.
void keepFiles(const CheckFolder& folder, const std::string& kept) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::exists(kept, error) || error) {
    throw std::runtime_error("cannot keep the check's files in " + quotedName(kept) + ": " +
                             (error ? error.message() : "it is there already"));
  }
  fs::create_directories(fs::path(kept).parent_path(), error);
  if (!error) {
    fs::copy(folder.root(), kept, fs::copy_options::recursive | fs::copy_options::copy_symlinks,
             error);
  }
  if (error) {
    throw std::runtime_error("cannot keep the check's files in " + quotedName(kept) + ": " +
                             error.message());
  }
  (void)std::fprintf(stderr, "exporthost: kept the check's files in %s\n",
                     quotedName(kept).c_str());
}

// One check from start to end: its folder made, the reference command run, the check run and
// judged, its files kept when it failed, its folder removed. Throws std::runtime_error for
// exporthost's own trouble, and Interrupted.
Verdict runOne(const CheckOptions& options, const std::string& path, std::size_t position,
               const Check& check, const ScratchFolder& scratch,
               const std::optional<ExportPlugin>& loaded) {
  const CheckFolder folder(scratch / std::string(check.name));
  makeFolder(folder.hostFiles());
  prepareReferences(options, check, folder);
  Verdict verdict = loaded ? checkInProcess(options, check, *loaded, folder)
                           : checkOutOfProcess(options, check, path, folder);
  if (verdict.kind == Verdict::Kind::OwnTrouble) {
    throw std::runtime_error(check.name.data() + std::string(" [") + quotedName(path) +
                             "]: " + verdict.text);
  }
  if (!options.keep.empty() && !verdict.passed() && verdict.kind != Verdict::Kind::Skip) {
    // DIR/CHECK, and DIR/N/CHECK for the Nth of several plug-ins.
    const bool separated = isFolderSeparator(options.keep.back());
    const std::string kept = options.keep + (separated ? "" : "/") +
                             (options.plugins.size() == 1 ? "" : std::to_string(position) + "/") +
                             std::string(check.name);
    keepFiles(folder, kept);
  }
  // The large block alone is 16 MiB: the disk holds only the running checks' files.
  if (const std::string cause = removeTree(folder.root()); !cause.empty()) {
    throw std::runtime_error("cannot remove the scratch folder " + quotedName(folder.root()) +
                             ", which the plug-in altered: " + cause);
  }
  return verdict;
}

// The checks from `first` on, up to `jobs` at a time, those that save large blocks started first
// so that no long one is left to run alone at the end. Verdicts are asked for in the checks'
// order. After a verdict that the plug-in cannot be loaded, or exporthost's own trouble, no
// further check starts; the running ones end first.
class SideBySide {
 public:
  using Run = std::function<Verdict(const Check&)>;
  SideBySide(const std::vector<const Check*>& checks, std::size_t first, unsigned jobs, Run run)
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
  // Whether a thread works through them; when none could be made, the caller runs them.
  [[nodiscard]] bool working() const { return !workers_.empty(); }
  SideBySide(const SideBySide&) = delete;
  SideBySide& operator=(const SideBySide&) = delete;
  ~SideBySide() {
    {
      const std::lock_guard<std::mutex> held(lock_);
      stopped_ = true;
    }
    for (std::thread& worker : workers_) {
      worker.join();
    }
  }

  // The verdict of check `index`, once it is in; rethrows what the check threw. A check that
  // never started, the others stopped by a check started before it, shares that one's end:
  // its trouble, or a skip for a plug-in that could not be loaded.
  Verdict verdict(std::size_t index) {
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

 private:
  struct Slot {
    bool started = false;
    bool done = false;
    Verdict verdict;
    std::exception_ptr error;
  };

  void work() {
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

void checkPlugin(const CheckOptions& options, const std::string& path, std::size_t position,
                 const std::vector<const Check*>& checks, Report& report) {
  const std::string label = quotedName(path);
  ScratchFolder scratch;
  std::optional<ExportPlugin> loaded;
  std::optional<Verdict> unloadable;
  if (options.inProcess) {
    try {
      loaded.emplace(path);
    } catch (const LoadError& error) {
      unloadable = notLoaded(error);
    }
  }
  const auto run = [&](const Check& check) {
    return runOne(options, path, position, check, scratch, loaded);
  };
  const auto recorded = [&](const Check& check, const Verdict& verdict) {
    report.record(label, check.name, verdict);
    if (verdict.kind == Verdict::Kind::NotLoaded) {
      unloadable = verdict;
    }
  };
  // The load itself comes first and alone: a plug-in that cannot be loaded, or hangs as it
  // loads, is found once, not by every check at once.
  std::size_t first = 0;
  if (!unloadable && !checks.empty() && checks.front()->name == kEntryPoints) {
    recorded(*checks.front(), run(*checks.front()));
    first = 1;
  }
  // In-process checks run on this thread, for a debugger's sake.
  std::optional<SideBySide> sideBySide;
  if (!options.inProcess && !unloadable && options.jobs > 1 && checks.size() - first > 1) {
    sideBySide.emplace(checks, first, options.jobs, run);
    if (!sideBySide->working()) {
      sideBySide.reset();
    }
  }
  for (std::size_t index = first; index < checks.size(); ++index) {
    const Check& check = *checks[index];
    if (unloadable) {
      report.record(label, check.name,
                    check.name == kEntryPoints
                        ? *unloadable
                        : Verdict::skip("the plug-in cannot be loaded: " + unloadable->text));
      continue;
    }
    recorded(check, sideBySide ? sideBySide->verdict(index) : run(check));
  }
  scratch.remove();
}

}  // namespace

std::vector<const Check*> selectedChecks(const CheckOptions& options) {
  std::vector<const Check*> selected;
  for (const Check& check : allChecks()) {
    const auto named = [&check](const std::vector<std::string>& names) {
      return std::find(names.begin(), names.end(), check.name) != names.end();
    };
    const bool wanted =
        options.only.empty() ? check.name != kAbout || options.about : named(options.only);
    if (wanted && !named(options.skip)) {
      selected.push_back(&check);
    }
  }
  return selected;
}

CheckRunResult runChecks(const CheckOptions& options) {
  const std::vector<const Check*> checks = selectedChecks(options);
  const bool aboutChosen = std::any_of(checks.begin(), checks.end(),
                                       [](const Check* check) { return check->name == kAbout; });
  if (aboutChosen) {
    if (const std::string missing = whyNoDisplay(); !missing.empty()) {
      throw std::runtime_error("the about check needs a display, and " + missing);
    }
  }
  const Interruptible interruptible;
  Report report(options.format, options.junit, options.strict,
                options.random.rounds == 0 ? "" : options.random.options());
  try {
    for (std::size_t index = 0; index < options.plugins.size(); ++index) {
      checkPlugin(options, options.plugins[index], index + 1, checks, report);
    }
  } catch (const Interrupted&) {
    // Every scratch folder is gone by now: the stack they lived on has unwound.
    Interruptible::endAsAsked();
  }
  return report.finish() ? CheckRunResult::AllPassed : CheckRunResult::SomeFailed;
}

}  // namespace rawout
