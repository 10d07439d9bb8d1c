// One check run the way `exporthost check` runs it: in a check process of its own, whose end and
// verdict file together give the verdict.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

#include "checks/check_table.h"
#include "process/interruptible.h"
#include "runner/check_options.h"
#include "runner/protocol.h"

namespace rawout {

// Throws Interrupted, StartError when no check process can be started, and std::runtime_error
// when a folder of the check's cannot be made.
Verdict checkOutOfProcess(const CheckOptions& options, const Check& check,
                          const std::string& plugin, const CheckFolder& folder);

}  // namespace rawout
