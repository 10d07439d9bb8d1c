#include "cli/check_arguments.h"

#include <cmath>
#include <cstdlib>

#include "check/registry.h"
#include "cli/usage_error.h"
#include "support/closest_name.h"
#include "support/quoted_name.h"

namespace rawout {

void addCheckNames(std::vector<std::string>& names, const std::string& list) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    const std::string name = list.substr(start, comma == std::string::npos ? comma : comma - start);
    if (findCheck(name) == nullptr) {
      std::vector<std::string_view> known;
      for (const Check& check : allChecks()) {
        known.push_back(check.name);
      }
      const std::string near = didYouMean(name, known);
      throw UsageError("no check is called " + quotedValue(name) +
                       (near.empty() ? "; 'exporthost check --list' names them" : near));
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
    throw UsageError("invalid time-out " + quotedValue(text) + ": give seconds, above 0");
  }
  return std::chrono::milliseconds(std::llround(value * 1000));
}

ReportFormat parseReportFormat(const std::string& text) {
  if (text == "text") {
    return ReportFormat::Text;
  }
  if (text == "tap") {
    return ReportFormat::Tap;
  }
  if (text == "tap13") {
    return ReportFormat::Tap13;
  }
  throw UsageError("invalid format " + quotedValue(text) + ": give text, tap or tap13");
}

}  // namespace rawout
