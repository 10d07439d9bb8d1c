#include "loader/fault_trap.h"

#include "loader/extension_buffer.h"

namespace rawout {

const std::string* FaultTrap::messageFor(const void* address) const noexcept {
  if (ExtensionBuffer::isPastTheEnd(address)) {
    return &overrunMessage_;
  }
  const auto* byte = static_cast<const char*>(address);
  return byte >= begin_ && byte < end_ ? &rangeMessage_ : nullptr;
}

void FaultTrap::watch(const void* begin, std::size_t bytes, std::string message) {
  rangeMessage_ = std::move(message);
  end_ = static_cast<const char*>(begin) + bytes;
  begin_ = static_cast<const char*>(begin);
}

}  // namespace rawout
