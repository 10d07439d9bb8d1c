// Every call into a plug-in goes through a small thunk of the architecture's own: it gives each
// register the calling convention keeps for the caller a value of its own before the call, and
// afterwards records what they and the stack pointer hold, then puts the host's back. A plug-in
// that breaks the convention (hand-written assembly, a stdcall definition, a toolchain flag) is
// then named, instead of corrupting its host silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rawout {

// What the thunk gives and finds: a 64-bit slot a register (an xmm register takes two). Its
// layout is the thunks' too.
struct CallRecord {
  static constexpr std::size_t kSlots = 28;
  std::uint64_t expected[kSlots] = {};
  std::uint64_t seen[kSlots] = {};
  std::uint64_t stackBefore = 0;  // the stack pointer as the call was made, and as it returned
  std::uint64_t stackAfter = 0;
};

// Calls `function` with up to four integer or address arguments (extra ones are ignored by a
// function of fewer) and gives its integer or address result.
std::intptr_t checkedCall(const void* function, std::uintptr_t first, std::uintptr_t second,
                          std::uintptr_t third, std::uintptr_t fourth, CallRecord& record);

// What the call recorded in `record` broke, taking `argumentBytes` of arguments: "" or, for one
// named `entryPoint`, "SavePrgmFile returned with ebx changed, a register the calling convention
// keeps for the caller", "... moved the stack pointer by 16 bytes on return: it is a stdcall
// (WINAPI) function; ...".
std::string brokenConvention(const CallRecord& record, std::size_t argumentBytes,
                             const char* entryPoint);

}  // namespace rawout
