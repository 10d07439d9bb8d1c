// The check command's option values, read from the command line.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "check/report.h"

namespace rawout {

// Names as given to --only and --skip: "a,b" and repeated options alike. Throws UsageError for a
// name that is no check.
void addCheckNames(std::vector<std::string>& names, const std::string& list);
// Throws UsageError unless `text` is a positive number of seconds.
std::chrono::milliseconds parseTimeout(const std::string& text);
// "text", "tap" or "tap13"; throws UsageError for anything else.
ReportFormat parseReportFormat(const std::string& text);

}  // namespace rawout
