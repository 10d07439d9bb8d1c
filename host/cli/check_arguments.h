// The check command's option values, read from the command line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "report/report.h"

namespace rawout {

// Names as given to --only and --skip: "a,b" and repeated options alike. Throws UsageError for a
// name that is no check.
void addCheckNames(std::vector<std::string>& names, const std::string& list);
// Throws UsageError unless `text` is a positive number of seconds.
std::chrono::milliseconds parseTimeout(const std::string& text);
// A seed for the random blocks: a number, or "random" for a fresh one. Throws UsageError.
std::uint64_t parseSeed(const std::string& text);
// How many rounds of random blocks: 1 or more. Throws UsageError.
unsigned parseRepeat(const std::string& text);
// The first round's number: 1 or more. Throws UsageError.
unsigned parseRound(const std::string& text);
// Bytes, or with K, M or G (KiB, MiB, GiB) after them: 1 to the most a host hands over at once.
// Throws UsageError.
std::size_t parseMaxSize(const std::string& text);
// How many check processes run at once: 1 to 256. Throws UsageError.
unsigned parseJobs(const std::string& text);
// One for each core.
unsigned defaultJobs();
// "text", "tap" or "tap13"; throws UsageError for anything else.
ReportFormat parseReportFormat(const std::string& text);

}  // namespace rawout
