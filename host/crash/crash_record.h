// What a check process that faults leaves for exporthost, written from the fault's own context
// with nothing but what is safe there: the fault, where it struck, what the host had lent at the
// address and, on Windows, the faulting thread's registers. The parent reads it and names it all.
#pragma once

#include <cstdint>

namespace rawout {

struct CrashRecord {
  // Written last: a record without it was cut short, and is none.
  static constexpr std::uint32_t kWhole = 0x48535243;  // "CRSH"
  static constexpr std::uint32_t kContextBytes = 2048;

  std::uint32_t code = 0;         // the signal, or the exception code
  std::int32_t detail = 0;        // si_code; on Windows, the access kind of an access violation
  std::uint64_t address = 0;      // the address touched, for a memory fault
  std::uint64_t pc = 0;           // the faulting instruction
  std::int64_t thread = 0;        // the thread that faulted
  char access = '?';              // 'r', 'w' or 'x' for a memory fault; '?' when it cannot be told
  char lent[160] = {};            // what the host lent there ("the block at byte 3"), or empty
  std::uint32_t contextSize = 0;  // Windows: the bytes of the faulting thread's CONTEXT
  unsigned char context[kContextBytes] = {};
  std::uint32_t whole = 0;
};

}  // namespace rawout
