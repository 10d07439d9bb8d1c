#include "cli/check_arguments.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <random>
#include <string_view>
#include <thread>
#include <utility>

#include "checks/check_table.h"
#include "cli/exit_status.h"
#include "text/closest_name.h"
#include "text/quoted_name.h"

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

namespace {

// A whole number in decimal, and what follows it.
std::optional<std::uint64_t> leadingNumber(std::string_view text, std::string_view& rest) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) {
    return std::nullopt;
  }
  rest = text.substr(static_cast<std::size_t>(end - text.data()));
  return value;
}

// A count of 1 to `most`, or a usage error that says the range: "give 1 to MOST UNITS".
unsigned parseCount(const std::string& text, std::uint64_t most, const std::string& counted,
                    const std::string& units) {
  std::string_view rest;
  const auto count = leadingNumber(text, rest);
  if (!count || !rest.empty() || *count == 0 || *count > most) {
    throw UsageError("invalid " + counted + " " + quotedValue(text) + ": give 1 to " +
                     std::to_string(most) + " " + units);
  }
  return static_cast<unsigned>(*count);
}

}  // namespace

std::uint64_t parseSeed(const std::string& text) {
  if (text == "random") {
    std::random_device device;
    return (std::uint64_t{device()} << 32U) | device();
  }
  std::string_view rest;
  const auto seed = leadingNumber(text, rest);
  if (!seed || !rest.empty()) {
    throw UsageError("invalid seed " + quotedValue(text) +
                     ": give a whole number from 0 to 18446744073709551615, or random");
  }
  return *seed;
}

unsigned parseRepeat(const std::string& text) {
  return parseCount(text, 1000000, "repeat count", "rounds");
}

unsigned parseRound(const std::string& text) {
  return parseCount(text, 1000000, "round", "(the first round's number)");
}

unsigned parseJobs(const std::string& text) {
  return parseCount(text, 256, "job count", "check processes at once");
}

unsigned defaultJobs() { return std::max(1U, std::thread::hardware_concurrency()); }

std::size_t parseMaxSize(const std::string& text) {
  constexpr std::uint64_t kMostBytes = 0xFFFFFFFFU;  // the boundary's size is 32 bits
  constexpr std::array<std::pair<std::string_view, unsigned>, 8> kUnits = {{
      {"", 0},
      {"K", 10},
      {"KiB", 10},
      {"k", 10},
      {"M", 20},
      {"MiB", 20},
      {"G", 30},
      {"GiB", 30},
  }};
  std::string_view rest;
  const auto count = leadingNumber(text, rest);
  const auto* unit = std::find_if(kUnits.begin(), kUnits.end(),
                                  [rest](const auto& each) { return each.first == rest; });
  if (!count || unit == kUnits.end() || *count == 0 || *count > (kMostBytes >> unit->second)) {
    throw UsageError("invalid size " + quotedValue(text) + ": give 1 to " +
                     std::to_string(kMostBytes) + " bytes, or a number with K, M or G");
  }
  return static_cast<std::size_t>(*count << unit->second);
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
