// What exporthost reads of a check process that faulted or hung, stopped where it was: the calls
// each thread was in (unwound with libdw on Linux, DbgHelp on Windows), each named by module,
// offset, function and source line where the module's debugging information says them, and what
// lies at an address.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crash/crash_record.h"

namespace rawout {

struct Frame {
  std::string module;        // the file's last component: "crash.so"; "" for none
  std::uint64_t offset = 0;  // the instruction's, from the module's start (none: its address)
  std::string function;      // "deeper", or the nearest symbol known, or ""
  std::uint64_t functionOffset = 0;
  bool nearest = false;  // no symbol covers it: `function` is the nearest below
  std::string file;      // "crash.c", with its line, where debugging information says
  int line = 0;
  bool host = false;  // exporthost's own: the calls stop there
};

struct ThreadFrames {
  std::int64_t thread = 0;
  std::vector<Frame> frames;
};

// The process stopped for exporthost, by its id (on Windows, a handle to it).
using StoppedProcess = std::intptr_t;

// The calls that led to the fault `record` describes, innermost first, up to exporthost's own
// frame and no more than `most`; none when they cannot be read.
std::vector<Frame> crashFrames(StoppedProcess process, const CrashRecord& record, std::size_t most);

// Where each thread of the process is, as `crashFrames` gives it; threads in none of the plug-in's
// frames are left out.
std::vector<ThreadFrames> threadFrames(StoppedProcess process, std::size_t most);

// What lies at `address` in the process: "crash.so", "the stack", "nothing mapped"...
std::string whatLiesAt(StoppedProcess process, std::uint64_t address);

// A symbol as its source names it: a C++ name demangled, without its parameters, which overloads
// alone need and which make a line of calls unreadable ("(anonymous namespace)::walkBlock").
std::string readableName(const char* symbol);

// The fault in words: "segmentation fault (SIGSEGV)", "access violation (0xC0000005)".
std::string faultKind(const CrashRecord& record);

}  // namespace rawout
