// The table of checks: every promise a host may rely on from an export plug-in, as a named row.
#pragma once

#include <span>
#include <string_view>

#include "checks/check.h"

namespace rawout {

// Every check, in the order they are reported. "entry-points" is the load itself and comes
// first; "about" shows a box, so it runs only when asked for.
std::span<const Check> allChecks();
// The check called `name`, or null.
const Check* findCheck(std::string_view name);

// The check's verdict on a loaded plug-in, in a check process or in exporthost's own: exporthost's
// trouble becomes OwnTrouble and any other exception a failure, so both give the same verdict.
Verdict verdictOf(const Check& check, const CheckContext& context);
// The verdict for a plug-in that cannot be loaded.
Verdict notLoaded(const LoadError& error);

}  // namespace rawout
