#include "check/parent_check.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <thread>

#include "check/parent_spawn.h"
#include "check/reference_command.h"
#include "support/files.h"
#include "support/paths.h"
#include "support/printable.h"
#include "support/quoted_name.h"

namespace rawout {

namespace {

// As the user gave it: "5 s", "2.5 s", "0.125 s".
std::string seconds(std::chrono::milliseconds timeout) {
  std::string fraction = std::to_string(1000 + timeout.count() % 1000).substr(1);
  fraction.erase(fraction.find_last_not_of('0') + 1);
  return std::to_string(timeout.count() / 1000) + (fraction.empty() ? "" : "." + fraction) + " s";
}

std::string contentOf(const std::string& path) { return fileContent(path).value_or(""); }

// A process may fail to start for a moment (a process limit reached; under wine, a new process
// that dies while it starts), which says nothing of the plug-in: only a lasting failure ends
// the run.
ProcessEnd startCheckProcess(const std::vector<std::string>& arguments, const CheckFolder& folder,
                             std::chrono::milliseconds timeout) {
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    try {
      return runCheckProcess(arguments, folder.output(), folder.errors(), timeout);
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
Verdict judge(const ProcessEnd& end, const CheckFolder& folder, std::chrono::milliseconds timeout) {
  const std::string lastWords = lastLines(contentOf(folder.errors()));
  const std::string told =
      lastWords.empty() ? "" : "; its last words on standard error: " + lastWords;
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
    return Verdict::fail(
        "after the check, as the plug-in was unloaded or the process ended: " + ended + told);
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
    return Verdict::notLoaded("while the plug-in loaded: " + noAnswer + told);
  }
  return Verdict::pluginEnded(noAnswer + told);
}

}  // namespace

void makeFolder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) {
    throw std::runtime_error("cannot make a scratch folder " + quotedName(path) + ": " +
                             error.message());
  }
}

namespace {

// Beside the blocks, which rounds they are of: the check that reads them must ask for the same.
std::string roundsFile(const std::string& folder) { return folder + "/rounds"; }

void writeBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file.flush()) {
    throw std::runtime_error("cannot write " + quotedName(path));
  }
}

}  // namespace

void prepareReferences(const CheckOptions& options, const Check& check, const CheckFolder& folder) {
  if (options.content != ContentRule::Reference || !check.savesContentBlocks) {
    return;
  }
  if (!options.referenceDir.empty()) {
    const std::string word = options.random.word();
    if (const auto written = fileContent(roundsFile(options.referenceDir)); written != word) {
      throw std::runtime_error(quotedName(options.referenceDir) +
                               " does not hold the blocks this check saves: write them with "
                               "--write-blocks and the same --seed, --repeat and --max-size");
    }
  }
  for (const ContentBlock& block : contentBlocks(options.random)) {
    if (!options.referenceDir.empty()) {
      const std::string written = options.referenceDir + "/" + block.name + ".expected";
      const auto expected = fileContent(written);
      if (!expected) {
        throw std::runtime_error(
            "cannot read " + quotedName(written) +
            ": --reference-dir needs NAME.expected beside each NAME.block, written by the "
            "reference command");
      }
      writeBytes(expectedFile(folder.hostFiles(), block),
                 Bytes(expected->begin(), expected->end()));
      continue;
    }
    const std::string input = folder.hostFiles() + "/" + block.name + ".block";
    writeBytes(input, bytesOf(block));
    runReference(options.reference, input, expectedFile(folder.hostFiles(), block),
                 folder.files() + "/" + block.name);
    std::filesystem::remove(input);
  }
}

std::size_t writeBlocks(const std::string& folder, const RandomRounds& random) {
  makeFolder(folder);
  const std::vector<ContentBlock> blocks = contentBlocks(random);
  for (const ContentBlock& block : blocks) {
    writeBytes(folder + "/" + block.name + ".block", bytesOf(block));
  }
  const std::string word = random.word();
  writeBytes(roundsFile(folder), Bytes(word.begin(), word.end()));
  return blocks.size();
}

Verdict checkOutOfProcess(const CheckOptions& options, const Check& check,
                          const std::string& plugin, const CheckFolder& folder) {
  makeFolder(folder.files());
  makeFolder(folder.workingFolder());
  const ProcessEnd end =
      startCheckProcess({kCheckProcessMode, std::string(check.name), absolutePath(plugin),
                         folder.root(), contentRuleWord(options.content), options.random.word()},
                        folder, options.timeout);
  if (end.interrupted) {
    throw Interrupted();
  }
  return judge(end, folder, options.timeout);
}

}  // namespace rawout
