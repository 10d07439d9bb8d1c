#include "check/check_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "check/display.h"
#include "check/parent_check.h"
#include "check/parent_spawn.h"
#include "check/protocol.h"
#include "check/registry.h"
#include "support/interruptible.h"
#include "support/quoted_name.h"
#include "support/scratch_folder.h"

namespace rawout {

namespace {

Verdict checkInProcess(const CheckOptions& options, const Check& check, const ExportPlugin& plugin,
                       const CheckFolder& folder) {
  makeFolder(folder.files());
  return verdictOf(check, {plugin, folder.files(), folder.hostFiles(), options.content});
}

void checkPlugin(const CheckOptions& options, const std::string& path,
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
  Report report(options.format, options.junit, options.strict);
  try {
    for (const std::string& plugin : options.plugins) {
      checkPlugin(options, plugin, checks, report);
    }
  } catch (const Interrupted&) {
    // Every scratch folder is gone by now: the stack they lived on has unwound.
    Interruptible::endAsAsked();
  }
  return report.finish() ? CheckRunResult::AllPassed : CheckRunResult::SomeFailed;
}

}  // namespace rawout
