#include "runner/parent_check.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <thread>

#include "files/files.h"
#include "files/working_folder.h"
#include "runner/parent_spawn.h"
#include "runner/reference_command.h"
#include "text/paths.h"
#include "text/printable.h"
#include "text/quoted_name.h"
#include "text/seconds.h"

namespace rawout {

namespace {

std::string contentOf(const std::string& path) { return fileContent(path).value_or(""); }

// A process may fail to start for a moment (a process limit reached; under wine, a new process
// that dies while it starts), which says nothing of the plug-in: only a lasting failure ends
// the run.
ProcessEnd startCheckProcess(const std::vector<std::string>& arguments, const CheckFolder& folder,
                             const std::string& plugin, std::chrono::milliseconds timeout) {
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    try {
      return runCheckProcess(
          arguments, {folder.output(), folder.errors(), folder.crashRecord(), plugin}, timeout);
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
  const std::string errors = contentOf(folder.errors());
  const std::size_t start = errors.rfind(kCheckProcessTroublePrefix);
  if (start == std::string::npos) {
    return std::nullopt;
  }
  const std::size_t text = start + sizeof kCheckProcessTroublePrefix - 1;
  return errors.substr(text, errors.find('\n', text) - text);
}

// The last lines of `text`, shown safely: what a plug-in said before it crashed.
std::string lastLines(const std::string& text) {
  constexpr int kLines = 3;
  constexpr std::size_t kMostBytes = 300;
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == '\n') {
    --end;
  }
  std::size_t start = end;
  for (int line = 0; line < kLines && start > 0; ++line) {
    const std::size_t lineEnd = text.rfind('\n', start - 1);
    start = lineEnd == std::string::npos ? 0 : lineEnd;
  }
  std::string tail = text.substr(start, end - start);
  if (!tail.empty() && tail.front() == '\n') {
    tail.erase(0, 1);
  }
  if (tail.size() > kMostBytes) {
    tail = "..." + tail.substr(tail.size() - kMostBytes);
  }
  return tail.empty() ? tail : "\"" + printable(tail) + "\"";
}

// What the check process's end says beside its verdict: it must end with status 0 once it has
// given one, and a verdict is only a verdict when the plug-in had loaded.
Verdict judged(const ProcessEnd& end, const CheckFolder& folder,
               std::chrono::milliseconds timeout) {
  const std::string lastWords = lastLines(contentOf(folder.errors()));
  const std::string told =
      lastWords.empty() ? "" : "; its last words on standard error: " + lastWords;
  const std::string where = end.fault.empty() ? "" : ": " + end.fault;
  const std::string ended = end.timedOut
                                ? "no end within " + secondsAsGiven(timeout) +
                                      ": the check process and every process it started "
                                      "were ended"
                                : "the plug-in ended the process (" + end.how + ")" + where;
  if (auto verdict = decodedVerdict(contentOf(folder.verdictFile()))) {
    if (!end.timedOut && end.exitStatus == 0) {
      return *verdict;
    }
    if (!verdict->passed() && !verdict->skipped()) {
      return *verdict;
    }
    return Verdict::fail(
        "after the check, as the plug-in was unloaded or the process ended: " + ended + told);
  }
  if (auto trouble = troubleOf(end, folder)) {
    return Verdict::ownTrouble(*trouble);
  }
  const std::string noAnswer =
      end.timedOut ? "no answer within " + secondsAsGiven(timeout) +
                         ": the check process and every process it started were ended"
                   : ended;
  std::error_code ignored;
  if (!std::filesystem::exists(folder.loadedMarker(), ignored)) {
    return Verdict::notLoaded("while the plug-in loaded: " + noAnswer + told);
  }
  return Verdict::pluginEnded(noAnswer + told);
}

// The verdict, with where the plug-in was as it faulted or hung when it failed: a fault the
// check process caught and reported itself is named beside its text.
Verdict judge(const ProcessEnd& end, const CheckFolder& folder, std::chrono::milliseconds timeout) {
  Verdict verdict = judged(end, folder, timeout);
  if (verdict.passed() || verdict.skipped() || verdict.kind == Verdict::Kind::OwnTrouble) {
    return verdict;
  }
  if (!end.fault.empty() && verdict.text.find(end.fault) == std::string::npos) {
    verdict.details.push_back({"fault", end.fault});
  }
  verdict.details.insert(verdict.details.end(), end.details.begin(), end.details.end());
  return verdict;
}

}  // namespace

Verdict checkOutOfProcess(const CheckOptions& options, const Check& check,
                          const std::string& plugin, const CheckFolder& folder) {
  makeFolders(folder.files());
  makeFolders(folder.workingFolder());
  makeFolders(folder.temporaryFolder());
  const ProcessEnd end =
      startCheckProcess({kCheckProcessMode, std::string(check.name), absolutePath(plugin),
                         folder.root(), contentRuleWord(options.content), options.random.word(),
                         options.reference, std::to_string(options.timeout.count())},
                        folder, lastComponent(plugin), options.timeout);
  if (end.interrupted) {
    throw Interrupted();
  }
  return judge(end, folder, options.timeout);
}

}  // namespace rawout
