// The report of a check run: a line per check as each ends (plain, or TAP 13/14), the count, and
// optionally a JUnit XML file. Everything a plug-in chose is escaped for the format it goes into.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "checks/verdict.h"

namespace rawout {

enum class ReportFormat { Text, Tap, Tap13 };

// Standard output takes no more of the report (a closed pipe, a full disk): said once, by whoever
// catches it.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Report {
 public:
  // Prints the TAP header at once for the TAP formats; `junit` is a file to write at the end, or
  // empty; `strict` counts a skipped check as a failure of the run; `random` is the options that
  // make the run's random blocks again ("--seed 5 --repeat 1 --max-size 1024"), said in the
  // summary, the TAP stream and each JUnit suite, or empty.
  // Throws std::runtime_error with the cause when `junit` cannot be written.
  Report(ReportFormat format, std::string junit, bool strict = false, std::string random = {});
  ~Report();
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // Prints one check's line: PASS, WARN (FAIL with --strict), SKIP, or FAIL for every other
  // verdict; then its details, a line each ("  calls: #0 ..."), which TAP's YAML block and the
  // JUnit failure carry too. Throws OutputError when standard output takes no more.
  void record(const std::string& label, std::string_view check, const Verdict& verdict);

  // Says on standard error where the files of a failing check were kept (--keep).
  static void kept(const std::string& folder);

  // Prints the count (TAP: the plan) and writes the JUnit file; true when nothing failed (and,
  // when strict, nothing was skipped). Throws
  // std::runtime_error when the JUnit file cannot be written.
  [[nodiscard]] bool finish();

 private:
  // A skip the platform forces (Unsupported) is no skip --strict fails; a warning with --strict is
  // a failure.
  enum class Outcome { Pass, Fail, Skip, Warn, Unsupported };
  [[nodiscard]] Outcome outcomeOf(Verdict::Kind kind) const;
  [[nodiscard]] std::ptrdiff_t count(Outcome outcome) const;

  struct Result {
    std::string label;
    std::string check;
    Outcome outcome;
    std::string text;
    std::vector<Verdict::Detail> details;
    std::chrono::milliseconds took;  // since the result before, or the report's start
  };

  void writeJunit(std::ptrdiff_t failed, std::ptrdiff_t skipped);

  ReportFormat format_;
  std::string junit_;
  bool strict_;
  std::string random_;
  std::FILE* junitFile_ = nullptr;
  std::vector<Result> results_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace rawout
