#include "report/report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "report/report_text.h"
#include "text/printable.h"
#include "text/quoted_name.h"
#include "text/seconds.h"

namespace rawout {

namespace {

// A report that cannot be written is no report: the run stops, and exporthost says why.
void flushed() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    throw OutputError(std::string("standard output: write error: ") + std::strerror(errno));
  }
}

}  // namespace

Report::Outcome Report::outcomeOf(Verdict::Kind kind) const {
  switch (kind) {
    case Verdict::Kind::Pass:
      return Outcome::Pass;
    case Verdict::Kind::Warn:
      return strict_ ? Outcome::Fail : Outcome::Warn;
    case Verdict::Kind::Skip:
      return Outcome::Skip;
    case Verdict::Kind::Unsupported:
      return Outcome::Unsupported;
    default:
      return Outcome::Fail;
  }
}

std::ptrdiff_t Report::count(Outcome outcome) const {
  return std::count_if(results_.begin(), results_.end(),
                       [outcome](const Result& result) { return result.outcome == outcome; });
}

Report::Report(ReportFormat format, std::string junit, bool strict, std::string random)
    : format_(format), junit_(std::move(junit)), strict_(strict), random_(std::move(random)) {
  // Found before any check runs: a report that could not be written would waste the run.
  if (!junit_.empty()) {
    junitFile_ = std::fopen(junit_.c_str(), "wb");
    if (junitFile_ == nullptr) {
      throw std::runtime_error(quotedName(junit_) +
                               ": cannot write the JUnit report: " + std::strerror(errno));
    }
  }
  // The stream is TAP 13 as much as 14; older harnesses refuse a version they do not know.
  if (format_ != ReportFormat::Text) {
    (void)std::printf("TAP version %d\n", format_ == ReportFormat::Tap ? 14 : 13);
    if (!random_.empty()) {
      (void)std::printf("# random blocks from %s\n", random_.c_str());
    }
    flushed();
  }
}

namespace {

// The details of a verdict as YAML lines of a TAP diagnostic block.
std::string yamlDetails(const std::vector<Verdict::Detail>& details) {
  std::string lines;
  for (const Verdict::Detail& detail : details) {
    lines += "  " + detail.name + ": " + yamlQuoted(detail.text) + "\n";
  }
  return lines;
}

// The text and its details, a line each, as a JUnit failure's body, escaped.
std::string xmlWithDetails(const std::string& text, const std::vector<Verdict::Detail>& details) {
  std::string whole = xmlEscaped(text);
  for (const Verdict::Detail& detail : details) {
    whole += "\n" + xmlEscaped(detail.name + ": " + detail.text);
  }
  return whole;
}

}  // namespace

void Report::record(const std::string& label, std::string_view check, const Verdict& verdict) {
  const Outcome outcome = outcomeOf(verdict.kind);
  const std::string text = verdict.kind == Verdict::Kind::Warn && outcome == Outcome::Fail
                               ? verdict.text + " (a warning, which --strict fails)"
                               : verdict.text;
  const auto now = std::chrono::steady_clock::now();
  results_.push_back({label, std::string(check), outcome, text, verdict.details,
                      std::chrono::duration_cast<std::chrono::milliseconds>(now - last_)});
  last_ = now;
  const std::string name = std::string(check) + " [" + label + "]";
  if (format_ != ReportFormat::Text) {
    const std::string line = (outcome == Outcome::Fail ? "not ok " : "ok ") +
                             std::to_string(results_.size()) + " - " + tapDescription(name);
    if (outcome == Outcome::Skip || outcome == Outcome::Unsupported) {
      (void)std::printf("%s # SKIP %s\n", line.c_str(), tapDescription(text).c_str());
    } else if (outcome == Outcome::Fail || outcome == Outcome::Warn) {
      const char* severity = outcome == Outcome::Warn ? "  severity: warning\n" : "";
      (void)std::printf("%s\n  ---\n  message: %s\n%s%s  ...\n", line.c_str(),
                        yamlQuoted(text).c_str(), severity, yamlDetails(verdict.details).c_str());
    } else {
      (void)std::printf("%s\n", line.c_str());
    }
  } else {
    constexpr const char* kWords[] = {"PASS", "FAIL", "SKIP", "WARN", "SKIP"};
    (void)std::printf("%s %s%s\n", kWords[static_cast<int>(outcome)], name.c_str(),
                      outcome == Outcome::Pass ? "" : (": " + printable(text)).c_str());
    for (const Verdict::Detail& detail : verdict.details) {
      (void)std::printf("  %s: %s\n", detail.name.c_str(), printable(detail.text).c_str());
    }
  }
  // As each result comes, so that a reader of a pipe sees it at once.
  flushed();
}

void Report::kept(const std::string& folder) {
  (void)std::fprintf(stderr, "exporthost: kept the check's files in %s\n",
                     quotedName(folder).c_str());
}

bool Report::finish() {
  const auto failed = count(Outcome::Fail);
  const auto strictSkips = count(Outcome::Skip);
  const auto skipped = strictSkips + count(Outcome::Unsupported);
  const auto warned = count(Outcome::Warn);
  if (format_ != ReportFormat::Text) {
    (void)std::printf("1..%zu\n", results_.size());
  } else {
    const std::string skips =
        skipped == 0 ? ""
                     : ", " + std::to_string(skipped) + " skipped" +
                           (strict_ && strictSkips > 0 ? ", which --strict fails" : "");
    const std::string warnings =
        warned == 0 ? "" : ", " + std::to_string(warned) + (warned == 1 ? " warning" : " warnings");
    const std::string random = random_.empty() ? "" : "; random blocks from " + random_;
    (void)std::printf("%td passed, %td failed%s%s%s\n", count(Outcome::Pass) + warned, failed,
                      skips.c_str(), warnings.c_str(), random.c_str());
  }
  flushed();
  if (!junit_.empty()) {
    writeJunit(failed, skipped);
  }
  return failed == 0 && (!strict_ || strictSkips == 0);
}

void Report::writeJunit(std::ptrdiff_t failed, std::ptrdiff_t skipped) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"exporthost check\" "
      "tests=\"" +
      std::to_string(results_.size()) + "\" failures=\"" + std::to_string(failed) +
      "\" skipped=\"" + std::to_string(skipped) + "\">\n";
  for (auto first = results_.begin(); first != results_.end();) {
    const auto last = std::find_if(first, results_.end(), [&first](const Result& result) {
      return result.label != first->label;
    });
    const auto counted = [first, last](Outcome outcome) {
      return std::count_if(first, last,
                           [outcome](const Result& result) { return result.outcome == outcome; });
    };
    const auto skips = counted(Outcome::Skip) + counted(Outcome::Unsupported);
    std::chrono::milliseconds took{};
    for (auto result = first; result != last; ++result) {
      took += result->took;
    }
    xml += "  <testsuite name=\"" + xmlEscaped(first->label) + "\" tests=\"" +
           std::to_string(last - first) + "\" failures=\"" +
           std::to_string(counted(Outcome::Fail)) + "\" skipped=\"" + std::to_string(skips) +
           "\" time=\"" + seconds(took) + "\">\n";
    if (!random_.empty()) {
      xml += "    <properties>\n      <property name=\"random-blocks\" value=\"" +
             xmlEscaped(random_) + "\"/>\n    </properties>\n";
    }
    for (auto result = first; result != last; ++result) {
      xml += "    <testcase classname=\"" + xmlEscaped(result->label) + "\" name=\"" +
             xmlEscaped(result->check) + "\" time=\"" + seconds(result->took) + "\"";
      if (result->outcome == Outcome::Pass) {
        xml += "/>\n";
        continue;
      }
      if (result->outcome == Outcome::Warn) {
        xml += ">\n      <system-out>warning: " + xmlEscaped(result->text) +
               "</system-out>\n    </testcase>\n";
        continue;
      }
      const char* element = result->outcome == Outcome::Fail ? "failure" : "skipped";
      xml += ">\n      <" + std::string(element) + " message=\"" + xmlEscaped(result->text) +
             "\">" + xmlWithDetails(result->text, result->details) + "</" + element +
             ">\n    </testcase>\n";
    }
    xml += "  </testsuite>\n";
    first = last;
  }
  xml += "</testsuites>\n";
  const bool written = std::fwrite(xml.data(), 1, xml.size(), junitFile_) == xml.size();
  const int cause = errno;
  const bool closed = std::fclose(std::exchange(junitFile_, nullptr)) == 0;
  if (!written || !closed) {
    throw std::runtime_error(quotedName(junit_) + ": cannot write the JUnit report: " +
                             std::strerror(written ? errno : cause));
  }
}

Report::~Report() {
  if (junitFile_ != nullptr) {
    (void)std::fclose(junitFile_);
  }
}

}  // namespace rawout
