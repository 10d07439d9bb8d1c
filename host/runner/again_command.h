// The command printed with a failing check: it runs that check alone, on the same plug-in, with
// the same blocks, and fails the same way.
#pragma once

#include <optional>
#include <string>

#include "checks/check.h"
#include "runner/check_options.h"

namespace rawout {

// "/usr/bin/exporthost check --only content --expect=identity --seed 5 --repeat 1 --max-size 1024
// --round 3 --plugin ./x.so": `round`, when the check noted the round it failed in, alone.
std::string againCommand(const CheckOptions& options, const Check& check, const Verdict& verdict,
                         const std::string& plugin, std::optional<unsigned> round);

}  // namespace rawout
