#include "check/check_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "check/check_process.h"
#include "check/checks.h"
#include "check/protocol.h"
#include "support/quoted_name.h"
#include "support/scratch_folder.h"

namespace rawout {

namespace {

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

std::string seconds(std::chrono::milliseconds timeout) {
  const auto whole = timeout.count() / 1000;
  const auto rest = timeout.count() % 1000;
  return std::to_string(whole) + (rest == 0 ? "" : "." + std::to_string(1000 + rest).substr(1)) +
         " s";
}

std::string contentOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void makeFolder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) {
    throw std::runtime_error("cannot make a scratch folder " + quotedName(path) + ": " +
                             error.message());
  }
}

class Interrupted : public std::exception {};

// A process may fail to start for a moment (a process limit reached; under wine, a new process
// that dies while it starts), which says nothing of the plug-in: only a lasting failure ends
// the run.
ProcessEnd startCheckProcess(const std::vector<std::string>& arguments,
                             const std::string& outputFile, std::chrono::milliseconds timeout) {
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    try {
      return runCheckProcess(arguments, outputFile, timeout);
    } catch (const StartError&) {
      if (attempt == kAttempts) {
        throw;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200) * attempt);
    }
  }
}

// The check process's own trouble line, when it ended for want of a place to put its verdict.
std::optional<std::string> troubleOf(const ProcessEnd& end, const CheckFolder& folder) {
  if (end.exitStatus != kCheckProcessTrouble) {
    return std::nullopt;
  }
  const std::string output = contentOf(folder.output());
  const std::size_t start = output.rfind(kCheckProcessTroublePrefix);
  if (start == std::string::npos) {
    return std::nullopt;
  }
  const std::size_t text = start + sizeof kCheckProcessTroublePrefix - 1;
  return output.substr(text, output.find('\n', text) - text);
}

// What the check process's end says beside its verdict: it must end with status 0 once it has
// given one, and a verdict is only a verdict when the plug-in had loaded.
Verdict judge(const ProcessEnd& end, const CheckFolder& folder, std::chrono::milliseconds timeout) {
  const std::string ended = end.timedOut ? "no end within " + seconds(timeout) +
                                               ": the check process and every process it started "
                                               "were ended"
                                         : "the plug-in ended the process (" + end.how + ")";
  if (auto verdict = Verdict::decode(contentOf(folder.verdictFile()))) {
    if (!end.timedOut && end.exitStatus == 0) {
      return *verdict;
    }
    if (verdict->kind != Verdict::Kind::Pass && verdict->kind != Verdict::Kind::Skip) {
      return *verdict;
    }
    return Verdict::fail("after the check, as the plug-in was unloaded or the process ended: " +
                         ended);
  }
  if (auto trouble = troubleOf(end, folder)) {
    return Verdict::ownTrouble(*trouble);
  }
  const std::string noAnswer =
      end.timedOut ? "no answer within " + seconds(timeout) +
                         ": the check process and every process it started were ended"
                   : ended;
  std::error_code ignored;
  if (!std::filesystem::exists(folder.loadedMarker(), ignored)) {
    return {Verdict::Kind::PluginEnded, "while the plug-in loaded: " + noAnswer, true};
  }
  return {Verdict::Kind::PluginEnded, noAnswer, false};
}

Verdict checkOutOfProcess(const Check& check, const std::string& plugin, const CheckFolder& folder,
                          std::chrono::milliseconds timeout) {
  makeFolder(folder.files());
  makeFolder(folder.workingFolder());
  makeFolder(folder.hostFiles());
  const ProcessEnd end = startCheckProcess(
      {kCheckProcessMode, std::string(check.name), absolutePath(plugin), folder.root()},
      folder.output(), timeout);
  if (end.interrupted) {
    throw Interrupted();
  }
  return judge(end, folder, timeout);
}

Verdict checkInProcess(const Check& check, const ExportPlugin& plugin, const CheckFolder& folder) {
  makeFolder(folder.files());
  makeFolder(folder.hostFiles());
  try {
    return check.run({plugin, folder.files(), folder.hostFiles()});
  } catch (const CheckTrouble& error) {
    return Verdict::ownTrouble(error.what());
  }
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
      unloadable =
          Verdict::notLoaded(std::string(error.what()) + ", expected the three entry points");
    }
  }
  for (const Check* check : checks) {
    if (unloadable && check->name != kEntryPoints) {
      report.record(label, check->name,
                    Verdict::skip("the plug-in cannot be loaded: " + unloadable->text));
      continue;
    }
    const CheckFolder folder(scratch / std::string(check->name));
    const Verdict verdict = unloadable ? *unloadable
                            : options.inProcess
                                ? checkInProcess(*check, *loaded, folder)
                                : checkOutOfProcess(*check, path, folder, options.timeout);
    if (verdict.kind == Verdict::Kind::OwnTrouble) {
      throw std::runtime_error(check->name.data() + std::string(" [") + label +
                               "]: " + verdict.text);
    }
    report.record(label, check->name, verdict);
    if (verdict.unloadable) {
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

void listChecks() {
  std::size_t width = 0;
  for (const Check& check : allChecks()) {
    width = std::max(width, check.name.size());
  }
  for (const Check& check : allChecks()) {
    (void)std::printf("%-*s  %s\n", static_cast<int>(width), std::string(check.name).c_str(),
                      std::string(check.promise).c_str());
  }
}

int runChecks(const CheckOptions& options) {
  const std::vector<const Check*> checks = selectedChecks(options);
#ifndef _WIN32
  const bool aboutChosen = std::any_of(checks.begin(), checks.end(),
                                       [](const Check* check) { return check->name == kAbout; });
  const auto isSet = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  if (aboutChosen && !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
    throw std::runtime_error(
        "the about check needs a display, and neither DISPLAY nor WAYLAND_DISPLAY is set");
  }
#endif
  const Interruptible interruptible;
  Report report(options.format, options.junit);
  try {
    for (const std::string& plugin : options.plugins) {
      checkPlugin(options, plugin, checks, report);
    }
  } catch (const Interrupted&) {
    // Every scratch folder is gone by now: the stack they lived on has unwound.
    Interruptible::endAsAsked();
  }
  return report.finish() ? 0 : 1;
}

}  // namespace rawout
