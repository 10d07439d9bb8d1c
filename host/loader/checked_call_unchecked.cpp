// Where no thunk is written for the architecture, the calls are made as they are, and nothing is
// found broken: every slot keeps the value it was given.
#include "loader/checked_call.h"

extern "C" const char rawout_checked_call_registers[] = "";

extern "C" std::intptr_t rawout_checked_call(const void* function, std::uintptr_t first,
                                             std::uintptr_t second, std::uintptr_t third,
                                             std::uintptr_t fourth, rawout::CallRecord* record) {
  for (std::size_t slot = 0; slot < rawout::CallRecord::kSlots; ++slot) {
    record->seen[slot] = record->expected[slot];
  }
  // A function of fewer arguments ignores the rest, whatever the C ABI.
  using Call = std::intptr_t (*)(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t);
  return reinterpret_cast<Call>(const_cast<void*>(function))(first, second, third,  // NOLINT
                                                             fourth);
}
