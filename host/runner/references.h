// What a reference command writes from each content block, for the content check: run here
// before the check, or read from a folder where a command run elsewhere wrote it.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "checks/check.h"
#include "runner/check_options.h"
#include "runner/protocol.h"

namespace rawout {

// With a reference command, what it writes from each content block, left beside the check's
// files for the content check. Throws std::runtime_error when the command fails.
void prepareReferences(const CheckOptions& options, const Check& check, const CheckFolder& folder);

// The reference command `command` run on one block saved as `name`, as a check shrinking a block
// needs it: what it wrote, or none when it failed. Unset for no command.
std::function<std::optional<Bytes>(ByteView, const std::string&)> referenceFor(
    const std::string& command, const CheckFolder& folder);

// Writes each content block to `folder`/NAME.block, for a reference command run elsewhere (on the
// build machine, when the check runs under an emulator), which writes NAME.expected beside it.
// Returns how many. Throws std::runtime_error.
std::size_t writeBlocks(const std::string& folder, const RandomRounds& random);

}  // namespace rawout
