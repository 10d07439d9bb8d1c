// One check run the way `exporthost check` runs it: in a check process of its own, whose end and
// verdict file together give the verdict.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

#include "check/check_options.h"
#include "check/protocol.h"
#include "check/registry.h"
#include "support/interruptible.h"

namespace rawout {

// Throws Interrupted, StartError when no check process can be started, and std::runtime_error
// when a folder of the check's cannot be made.
Verdict checkOutOfProcess(const CheckOptions& options, const Check& check,
                          const std::string& plugin, const CheckFolder& folder);

// With a reference command, what it writes from each content block, left beside the check's
// files for the content check. Throws std::runtime_error when the command fails.
void prepareReferences(const CheckOptions& options, const Check& check, const CheckFolder& folder);

// Writes each content block to `folder`/NAME.block, for a reference command run elsewhere (on the
// build machine, when the check runs under an emulator), which writes NAME.expected beside it.
// Returns how many. Throws std::runtime_error.
std::size_t writeBlocks(const std::string& folder, const RandomRounds& random);

// Makes `path` and the folders above it. Throws std::runtime_error.
void makeFolder(const std::string& path);

}  // namespace rawout
