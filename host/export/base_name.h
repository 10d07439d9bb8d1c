// BASENAME's rules: the base name an input implies, and whether a name can be a base name at all.
#pragma once

#include <string>

namespace rawout {

// The input without the extension of its last component: "dir/prog.hex" gives "dir/prog", while
// "a.d/prog" and ".profile" keep theirs, as a leading dot starts a name.
std::string baseNameOf(const std::string& input);

// Whether `baseName` leaves no file name to extend: empty, ending in a folder separator, or
// "." or ".." as its last component (and a bare drive such as "C:" on Windows).
bool namesAFolder(const std::string& baseName);

}  // namespace rawout
