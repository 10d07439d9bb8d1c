// The command a user names with --reference: it writes, from a block on its standard input, the
// file a plug-in of that format must write.
#pragma once

#include <string>

namespace rawout {

// Where the command finds the base name the plug-in will be handed for the block, for a format
// that writes the name into its file.
constexpr const char* kBaseNameVariable = "RAWOUT_BASE_NAME";

// Runs `command` through the system's shell (sh -c; cmd /c on Windows) with the file `input` on
// its standard input, its standard output into the file `output` and `baseName` in
// kBaseNameVariable; its standard error is exporthost's. Throws std::runtime_error, exporthost's
// own trouble, when the command cannot be run or ends with anything but status 0.
void runReference(const std::string& command, const std::string& input, const std::string& output,
                  const std::string& baseName);

}  // namespace rawout
