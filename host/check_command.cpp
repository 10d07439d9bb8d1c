#include "check_command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <thread>

#include "check_process.h"
#include "checks.h"
#include "fault_report.h"
#include "file_identity.h"
#include "quoted_name.h"
#include "scratch_folder.h"

#ifdef _WIN32
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace rawout {

namespace {

enum class Outcome { Pass, Fail, Skip };

// Bytes a plug-in chose (an extension, a description) never reach the report raw: a line feed
// there could forge a line.
std::string printable(const std::string& text) {
  std::string shown;
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    if (byte < 0x20 || byte == 0x7F) {
      constexpr char kDigits[] = "0123456789ABCDEF";
      shown += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 15]};
    } else {
      shown += character;
    }
  }
  return shown;
}

bool isUtf8(const std::string& text) {
  for (std::size_t index = 0; index < text.size();) {
    const auto lead = static_cast<unsigned char>(text[index]);
    const std::size_t length = lead < 0x80         ? 1
                               : (lead >> 5) == 6  ? 2
                               : (lead >> 4) == 14 ? 3
                               : (lead >> 3) == 30 ? 4
                                                   : 0;
    if (length == 0 || index + length > text.size()) {
      return false;
    }
    for (std::size_t next = 1; next < length; ++next) {
      if ((static_cast<unsigned char>(text[index + next]) >> 6) != 2) {
        return false;
      }
    }
    index += length;
  }
  return true;
}

std::string xmlEscaped(const std::string& raw) {
  const std::string text = printable(raw);
  const bool utf8 = isUtf8(text);
  std::string escaped;
  for (const char character : text) {
    switch (character) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        if (!utf8 && static_cast<unsigned char>(character) >= 0x80) {
          constexpr char kDigits[] = "0123456789ABCDEF";
          const auto byte = static_cast<unsigned char>(character);
          escaped += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 15]};
        } else {
          escaped += character;
        }
    }
  }
  return escaped;
}

// TAP reads "#" in a description as the start of a directive.
std::string tapDescription(const std::string& text) {
  std::string escaped;
  for (const char character : printable(text)) {
    if (character == '#' || character == '\\') {
      escaped += '\\';
    }
    escaped += character;
  }
  return escaped;
}

std::string yamlQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char character : printable(text)) {
    if (character == '"' || character == '\\') {
      quoted += '\\';
    }
    quoted += character;
  }
  return quoted + "\"";
}

class Report {
 public:
  Report(CheckOptions::Format format, std::string junit)
      : format_(format), junit_(std::move(junit)) {
    // The stream is TAP 13 as much as 14; older harnesses refuse a version they do not know.
    if (format_ != CheckOptions::Format::Text) {
      (void)std::printf("TAP version %d\n", format_ == CheckOptions::Format::Tap ? 14 : 13);
    }
  }

  void record(const std::string& label, std::string_view check, Outcome outcome,
              const std::string& text) {
    results_.push_back({label, std::string(check), outcome, text});
    const std::string name = std::string(check) + " [" + label + "]";
    if (format_ != CheckOptions::Format::Text) {
      const std::string line = (outcome == Outcome::Fail ? "not ok " : "ok ") +
                               std::to_string(results_.size()) + " - " + tapDescription(name);
      if (outcome == Outcome::Skip) {
        (void)std::printf("%s # SKIP %s\n", line.c_str(), tapDescription(text).c_str());
      } else if (outcome == Outcome::Fail) {
        (void)std::printf("%s\n  ---\n  message: %s\n  ...\n", line.c_str(),
                          yamlQuoted(text).c_str());
      } else {
        (void)std::printf("%s\n", line.c_str());
      }
    } else {
      constexpr const char* kWords[] = {"PASS", "FAIL", "SKIP"};
      (void)std::printf("%s %s%s\n", kWords[static_cast<int>(outcome)], name.c_str(),
                        outcome == Outcome::Pass ? "" : (": " + printable(text)).c_str());
    }
    // As each result comes, so that a reader of a pipe sees it at once.
    (void)std::fflush(stdout);
  }

  // Prints the count (TAP: the plan) and writes the JUnit file; true when nothing failed.
  [[nodiscard]] bool finish() const {
    const auto count = [this](Outcome outcome) {
      return std::count_if(results_.begin(), results_.end(),
                           [outcome](const Result& result) { return result.outcome == outcome; });
    };
    const auto failed = count(Outcome::Fail);
    const auto skipped = count(Outcome::Skip);
    if (format_ != CheckOptions::Format::Text) {
      (void)std::printf("1..%zu\n", results_.size());
    } else {
      (void)std::printf("%td passed, %td failed%s\n", count(Outcome::Pass), failed,
                        skipped == 0 ? "" : (", " + std::to_string(skipped) + " skipped").c_str());
    }
    if (!junit_.empty()) {
      writeJunit(failed, skipped);
    }
    return failed == 0;
  }

 private:
  struct Result {
    std::string label;
    std::string check;
    Outcome outcome;
    std::string text;
  };

  void writeJunit(std::ptrdiff_t failed, std::ptrdiff_t skipped) const {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"exporthost check\" "
        "tests=\"" +
        std::to_string(results_.size()) + "\" failures=\"" + std::to_string(failed) +
        "\" skipped=\"" + std::to_string(skipped) + "\">\n";
    for (auto first = results_.begin(); first != results_.end();) {
      const auto last = std::find_if(first, results_.end(), [&first](const Result& result) {
        return result.label != first->label;
      });
      const auto suiteFailed = std::count_if(
          first, last, [](const Result& result) { return result.outcome == Outcome::Fail; });
      xml += "  <testsuite name=\"" + xmlEscaped(first->label) + "\" tests=\"" +
             std::to_string(last - first) + "\" failures=\"" + std::to_string(suiteFailed) +
             "\">\n";
      for (auto result = first; result != last; ++result) {
        xml += "    <testcase classname=\"" + xmlEscaped(result->label) + "\" name=\"" +
               xmlEscaped(result->check) + "\"";
        if (result->outcome == Outcome::Pass) {
          xml += "/>\n";
          continue;
        }
        const char* element = result->outcome == Outcome::Fail ? "failure" : "skipped";
        xml += ">\n      <" + std::string(element) + " message=\"" + xmlEscaped(result->text) +
               "\">" + xmlEscaped(result->text) + "</" + element + ">\n    </testcase>\n";
      }
      xml += "  </testsuite>\n";
      first = last;
    }
    xml += "</testsuites>\n";
    std::ofstream file(junit_, std::ios::binary | std::ios::trunc);
    file << xml;
    file.close();
    if (!file) {
      throw std::runtime_error(quotedName(junit_) + ": cannot write the JUnit report");
    }
  }

  CheckOptions::Format format_;
  std::string junit_;
  std::vector<Result> results_;
};

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

// What a check process left in its result file: "pass", "fail" or "unloadable", a line feed, and
// the failure's text.
struct Answer {
  Outcome outcome = Outcome::Fail;
  std::string text;
  bool unloadable = false;
};

std::optional<Answer> readAnswer(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string content{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const std::size_t lineEnd = content.find('\n');
  if (lineEnd == std::string::npos) {
    return std::nullopt;
  }
  const std::string word = content.substr(0, lineEnd);
  const std::string text = content.substr(lineEnd + 1);
  if (word == "pass") {
    return Answer{Outcome::Pass, {}, false};
  }
  if (word == "fail" || word == "unloadable") {
    return Answer{Outcome::Fail, text, word == "unloadable"};
  }
  return std::nullopt;
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

Answer checkOutOfProcess(const Check& check, const std::string& plugin, const std::string& folder,
                         std::chrono::milliseconds timeout) {
  makeFolder(folder + "/files");
  makeFolder(folder + "/cwd");
  const ProcessEnd end =
      startCheckProcess({kCheckProcessMode, std::string(check.name), absolutePath(plugin), folder},
                        folder + "/output", timeout);
  if (end.interrupted) {
    throw Interrupted();
  }
  if (end.timedOut) {
    return {Outcome::Fail,
            "no answer within " + seconds(timeout) +
                ": the check process and every process it started were ended",
            false};
  }
  if (auto answer = readAnswer(folder + "/result")) {
    return *answer;
  }
  return {Outcome::Fail, "the plug-in ended the process (" + end.how + ")", false};
}

Answer checkInProcess(const Check& check, const ExportPlugin& plugin, const std::string& folder) {
  makeFolder(folder);
  const std::string failure = check.run({plugin, folder});
  return {failure.empty() ? Outcome::Pass : Outcome::Fail, failure, false};
}

void checkPlugin(const CheckOptions& options, const std::string& path,
                 const std::vector<const Check*>& checks, Report& report) {
  const std::string label = quotedName(path);
  const ScratchFolder scratch;
  std::optional<ExportPlugin> loaded;
  std::string unloadable;
  if (options.inProcess) {
    try {
      loaded.emplace(path);
    } catch (const LoadError& error) {
      unloadable = std::string(error.what()) + ", expected the three entry points";
    }
  }
  for (const Check* check : checks) {
    if (!unloadable.empty() && check->name != kEntryPoints) {
      report.record(label, check->name, Outcome::Skip, "the plug-in cannot be loaded");
      continue;
    }
    const std::string folder = scratch / std::string(check->name);
    Answer answer = !unloadable.empty() ? Answer{Outcome::Fail, unloadable, true}
                    : options.inProcess ? checkInProcess(*check, *loaded, folder)
                                        : checkOutOfProcess(*check, path, folder, options.timeout);
    report.record(label, check->name, answer.outcome, answer.text);
    if (answer.unloadable) {
      unloadable = answer.text;
    }
    // The large block alone is 16 MiB: the disk holds one check's files at a time.
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
}

// The check process's answer goes into a file it opens before the check and writes after, so that
// a plug-in that closes descriptors or lowers the limit on them cannot silence it.
class AnswerFile {
 public:
  explicit AnswerFile(std::string path)
      : path_(std::move(path)), file_(std::fopen(path_.c_str(), "wb")) {
    identity_ = identityOf(path_);
  }
  AnswerFile(const AnswerFile&) = delete;
  AnswerFile& operator=(const AnswerFile&) = delete;
  ~AnswerFile() = default;

  // False when neither the file opened before nor a new one could take it.
  [[nodiscard]] bool write(const std::string& answer) {
    // The same file, unless the plug-in closed its descriptor and another took the number.
    if (file_ != nullptr && identityOf(path_) == identity_ &&
        std::fwrite(answer.data(), 1, answer.size(), file_) == answer.size() &&
        std::fflush(file_) == 0) {
      return true;
    }
    std::FILE* again = std::fopen(path_.c_str(), "wb");
    return again != nullptr &&
           std::fwrite(answer.data(), 1, answer.size(), again) == answer.size() &&
           std::fclose(again) == 0;
  }

 private:
  std::string path_;
  std::FILE* file_;
  std::optional<FileIdentity> identity_;
};

}  // namespace

void addCheckNames(std::vector<std::string>& names, const std::string& list) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    const std::string name = list.substr(start, comma == std::string::npos ? comma : comma - start);
    if (findCheck(name) == nullptr) {
      throw UsageError("no check is called " + quotedName(name) +
                       "; 'exporthost check --list' names them");
    }
    names.push_back(name);
    if (comma == std::string::npos) {
      return;
    }
    start = comma + 1;
  }
}

std::chrono::milliseconds parseTimeout(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end == nullptr || *end != '\0' || !(value > 0) || value > 86400) {
    throw UsageError("invalid time-out " + quotedName(text) + ": give seconds, above 0");
  }
  return std::chrono::milliseconds(std::llround(value * 1000));
}

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
  Report report(options.format, options.junit);
  try {
    const Interruptible interruptible;
    for (const std::string& plugin : options.plugins) {
      checkPlugin(options, plugin, checks, report);
    }
  } catch (const Interrupted&) {
    // Every scratch folder is gone by now: the stack they lived on has unwound.
    Interruptible::endAsAsked();
  }
  return report.finish() ? 0 : 1;
}

int runCheckProcessMain(const std::vector<std::string>& arguments) {
  if (arguments.size() != 3 || findCheck(arguments[0]) == nullptr) {
    return 2;
  }
  prepareCheckProcess();
  const Check& check = *findCheck(arguments[0]);
  const std::string& folder = arguments[2];
  AnswerFile answerFile(folder + "/result");
  std::string answer;
  {
    FaultReport faults("fail\nwrote past the 5-byte extension buffer");
    faults.reportInto(folder + "/result");
#ifdef _WIN32
    const bool entered = ::_chdir((folder + "/cwd").c_str()) == 0;
#else
    const bool entered = ::chdir((folder + "/cwd").c_str()) == 0;
#endif
    try {
      if (!entered) {
        throw std::runtime_error("exporthost could not enter the check's working folder");
      }
      const ExportPlugin plugin(arguments[1]);
      const std::string failure = check.run({plugin, folder + "/files"});
      answer = failure.empty() ? "pass\n" : "fail\n" + failure;
    } catch (const LoadError& error) {
      answer = "unloadable\n" + std::string(error.what()) + ", expected the three entry points";
    } catch (const std::exception& error) {
      answer = "fail\n" + std::string(error.what());
    }
    // The plug-in is unloaded by now: a fault while it unloads counts against the check too.
  }
  // Told apart from a plug-in's exit: no answer and this status.
  constexpr int kCannotAnswer = 3;
  return answerFile.write(answer) ? 0 : kCannotAnswer;
}

}  // namespace rawout
