// What starting a copy of this program takes on Windows, shared by the check and the export.
#pragma once

#include <string>

namespace rawout {

#ifdef _WIN32
// One argument of a Windows command line, quoted so that the C runtime splits it back unchanged.
std::string quotedArgument(const std::string& argument);
// The full path of the running program.
std::string thisProgram();
// How a process ended, from its exit code: "exit status 3", or "exception 0xC0000005" for the
// codes from 0xC0000000 up.
std::string describeExitCode(unsigned long code);
#endif

}  // namespace rawout
