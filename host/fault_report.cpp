#include "fault_report.h"

namespace rawout {

const std::string* FaultReport::messageFor(const void* address) const noexcept {
  const auto* byte = static_cast<const char*>(address);
  for (const Range& range : ranges_) {
    if (byte >= range.begin && byte < range.end) {
      return &range.message;
    }
  }
  return nullptr;
}

void FaultReport::watch(const void* begin, std::size_t bytes, std::string message) {
  for (Range& range : ranges_) {
    if (range.begin == nullptr) {
      range.message = std::move(message);
      range.end = static_cast<const char*>(begin) + bytes;
      range.begin = static_cast<const char*>(begin);
      return;
    }
  }
}

}  // namespace rawout
