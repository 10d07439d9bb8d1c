#include "loader/checked_call.h"

#include <algorithm>
#include <atomic>
#include <string_view>
#include <vector>

// The architecture's thunk, and the name of each slot it fills, a word each.
extern "C" std::intptr_t rawout_checked_call(const void* function, std::uintptr_t first,
                                             std::uintptr_t second, std::uintptr_t third,
                                             std::uintptr_t fourth, rawout::CallRecord* record);
extern "C" const char rawout_checked_call_registers[];

namespace rawout {

std::intptr_t checkedCall(const void* function, std::uintptr_t first, std::uintptr_t second,
                          std::uintptr_t third, std::uintptr_t fourth, CallRecord& record) {
  // Values no plug-in leaves by chance, others on every call.
  static std::atomic<std::uint64_t> calls{0};
  const std::uint64_t call = ++calls;
  for (std::size_t slot = 0; slot < CallRecord::kSlots; ++slot) {
    record.expected[slot] = 0xA5A5000000000000ULL ^ (call << 20U) ^ ((slot + 1) * 0x10001ULL);
  }
  return rawout_checked_call(function, first, second, third, fourth, &record);
}

std::string brokenConvention(const CallRecord& record, std::size_t argumentBytes,
                             const char* entryPoint) {
  // The names, a word each; split by hand, as a stream would need what a call may have used up
  // (with no descriptor left, a sanitizer cannot even check a stream's type).
  const std::string_view names = rawout_checked_call_registers;
  std::vector<std::string> changed;
  // A 32-bit register fills the low half of its slot.
  const std::uint64_t width = sizeof(void*) == 4 ? 0xFFFFFFFFULL : ~0ULL;
  std::size_t slot = 0;
  for (std::size_t start = names.find_first_not_of(' ');
       start != std::string_view::npos && slot < CallRecord::kSlots; ++slot) {
    const std::size_t end = std::min(names.find(' ', start), names.size());
    const std::string name(names.substr(start, end - start));
    if (record.seen[slot] != (record.expected[slot] & width) &&
        (changed.empty() || changed.back() != name)) {
      changed.push_back(name);
    }
    start = names.find_first_not_of(' ', end);
  }
  const auto moved = static_cast<std::int64_t>(record.stackAfter - record.stackBefore);
  std::string broken;
  if (moved != 0 && argumentBytes > 0 && moved == static_cast<std::int64_t>(argumentBytes)) {
    broken = std::string(entryPoint) + " took its " + std::to_string(argumentBytes) +
             " bytes of arguments off the stack, as a stdcall (WINAPI) function does, where the "
             "host takes them off itself: declare the entry points RAWOUT_CALL (cdecl), as the "
             "header does";
  } else if (moved != 0) {
    broken = std::string(entryPoint) + " returned with the stack pointer moved by " +
             std::to_string(moved) + " bytes";
  }
  for (const std::string& name : changed) {
    broken += (broken.empty() ? std::string(entryPoint) + " returned with " : ", and with ") +
              name + " changed";
  }
  if (!changed.empty()) {
    broken += (changed.size() == 1 ? ", a register" : ", registers") +
              std::string(" the calling convention keeps for the caller");
  }
  return broken;
}

}  // namespace rawout
