#include "runner/check_run.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "checks/check_table.h"
#include "files/files.h"
#include "files/scratch_folder.h"
#include "inspect/display.h"
#include "process/interruptible.h"
#include "runner/again_command.h"
#include "runner/parent_check.h"
#include "runner/parent_spawn.h"
#include "runner/protocol.h"
#include "runner/references.h"
#include "runner/side_by_side.h"
#include "text/paths.h"
#include "text/quoted_name.h"

namespace rawout {

namespace {

Verdict checkInProcess(const CheckOptions& options, const Check& check, const ExportPlugin& plugin,
                       const CheckFolder& folder) {
  makeFolders(folder.files());
  return verdictOf(check, {plugin, folder.files(), folder.hostFiles(), options.content,
                           options.random, referenceFor(options.reference, folder)});
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
}

// Where a failing check's files are kept: DIR/CHECK, and DIR/N/CHECK for the Nth of several
// plug-ins; none for a check that passed or was skipped, or without --keep.
std::optional<std::string> keptFolder(const CheckOptions& options, std::size_t position,
                                      const Check& check, const Verdict& verdict) {
  if (options.keep.empty() || verdict.passed() || verdict.skipped()) {
    return std::nullopt;
  }
  const bool separated = isFolderSeparator(options.keep.back());
  return options.keep + (separated ? "" : "/") +
         (options.plugins.size() == 1 ? "" : std::to_string(position) + "/") +
         std::string(check.name);
}

// One check from start to end: its folder made, the reference command run, the check run and
// judged, its files kept when it failed, its folder removed. Throws std::runtime_error for
// exporthost's own trouble, and Interrupted.
Verdict runOne(const CheckOptions& options, const std::string& path, std::size_t position,
               const Check& check, const std::string& scratch,
               const std::optional<ExportPlugin>& loaded) {
  const CheckFolder folder(scratch + "/" + std::string(check.name));
  makeFolders(folder.hostFiles());
  prepareReferences(options, check, folder);
  Verdict verdict = loaded ? checkInProcess(options, check, *loaded, folder)
                           : checkOutOfProcess(options, check, path, folder);
  if (verdict.kind == Verdict::Kind::OwnTrouble) {
    throw std::runtime_error(check.name.data() + std::string(" [") + quotedName(path) +
                             "]: " + verdict.text);
  }
  // Every failure, a warning --strict fails among them, says how to make it again.
  if (!verdict.skipped() &&
      (!verdict.passed() || (options.strict && verdict.kind == Verdict::Kind::Warn))) {
    verdict.details.push_back(
        {"again", againCommand(options, check, verdict, path, roundNoted(folder.hostFiles()))});
    if (!options.inProcess) {
      verdict.details.push_back(
          {"debug", "add --in-process to run it in exporthost's own process, under a debugger"});
    }
  }
  if (const auto kept = keptFolder(options, position, check, verdict)) {
    keepFiles(folder, *kept);
  }
  // The large block alone is 16 MiB: the disk holds only the running checks' files.
  if (const std::string cause = removeTree(folder.root()); !cause.empty()) {
    throw std::runtime_error("cannot remove the scratch folder " + quotedName(folder.root()) +
                             ", which the plug-in altered: " + cause);
  }
  return verdict;
}

// The checks of the plug-in at `path`, the `position`th, in a folder of its own inside the run's
// scratch folder.
void checkPlugin(const CheckOptions& options, const std::string& path, std::size_t position,
                 const std::vector<const Check*>& checks, const ScratchFolder& runFolder,
                 Report& report) {
  const std::string label = quotedName(path);
  const std::string scratch = runFolder / std::to_string(position);
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
    if (const auto kept = keptFolder(options, position, check, verdict)) {
      Report::kept(*kept);
    }
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
  if (const std::string cause = removeTree(scratch); !cause.empty()) {
    throw std::runtime_error("cannot remove the scratch folder " + quotedName(scratch) + ": " +
                             cause);
  }
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
    // Every scratch file of the run, exporthost's own included, lives in this one folder.
    ScratchFolder scratch;
    for (std::size_t index = 0; index < options.plugins.size(); ++index) {
      checkPlugin(options, options.plugins[index], index + 1, checks, scratch, report);
    }
    scratch.remove();
  } catch (const Interrupted&) {
    // Every scratch folder is gone by now: the stack they lived on has unwound.
    Interruptible::endAsAsked();
  }
  return report.finish() ? CheckRunResult::AllPassed : CheckRunResult::SomeFailed;
}

}  // namespace rawout
