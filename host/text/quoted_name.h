// File names in messages, quoted the way coreutils quotes them, so that a name with spaces,
// quotes or control characters reads unambiguously and cannot garble the terminal.
#pragma once

#include <string>

namespace rawout {

// The name as it is when a shell would leave it alone; otherwise in single quotes, with a single
// quote as '\'' and a control character as a $'\n'-style escape.
std::string quotedName(const std::string& name);

// A value in a usage error: quoted as a name is, and in single quotes even when it needs none, as
// GNU tools show what was typed ('frobnicate').
std::string quotedValue(const std::string& value);

}  // namespace rawout
