// `exporthost check`: every plug-in checked against the host contract, each check in a child
// process of its own, the report printed by exporthost alone.
#pragma once

#include <vector>

#include "checks/check_table.h"
#include "runner/check_options.h"

namespace rawout {

// The checks the options choose, in the table's order.
std::vector<const Check*> selectedChecks(const CheckOptions& options);

enum class CheckRunResult { AllPassed, SomeFailed };

// Runs the checks and prints the report. Throws std::runtime_error for exporthost's own trouble.
CheckRunResult runChecks(const CheckOptions& options);

}  // namespace rawout
