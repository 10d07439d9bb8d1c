#include "check/check_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>

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
  for (const Check* check : checks) {
    if (unloadable && check->name != kEntryPoints) {
      report.record(label, check->name,
                    Verdict::skip("the plug-in cannot be loaded: " + unloadable->text));
      continue;
    }
    const CheckFolder folder(scratch / std::string(check->name));
    if (!unloadable) {
      makeFolder(folder.hostFiles());
      prepareReferences(options, *check, folder);
    }
    const Verdict verdict = unloadable          ? *unloadable
                            : options.inProcess ? checkInProcess(options, *check, *loaded, folder)
                                                : checkOutOfProcess(options, *check, path, folder);
    if (verdict.kind == Verdict::Kind::OwnTrouble) {
      throw std::runtime_error(check->name.data() + std::string(" [") + label +
                               "]: " + verdict.text);
    }
    report.record(label, check->name, verdict);
    if (!options.keep.empty() && !verdict.passed() && verdict.kind != Verdict::Kind::Skip) {
      // DIR/CHECK, and DIR/N/CHECK for the Nth of several plug-ins.
      const bool separated = isFolderSeparator(options.keep.back());
      const std::string kept = options.keep + (separated ? "" : "/") +
                               (options.plugins.size() == 1 ? "" : std::to_string(position) + "/") +
                               std::string(check->name);
      keepFiles(folder, kept);
    }
    if (verdict.kind == Verdict::Kind::NotLoaded) {
      unloadable = verdict;
    }
    // The large block alone is 16 MiB: the disk holds one check's files at a time.
    if (const std::string cause = removeTree(folder.root()); !cause.empty()) {
      throw std::runtime_error("cannot remove the scratch folder " + quotedName(folder.root()) +
                               ", which the plug-in altered: " + cause);
    }
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
