#include "support/printable.h"

namespace rawout {

std::string printable(const std::string& text) {
  std::string shown;
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    if (byte < 0x20 || byte == 0x7F) {
      constexpr char kDigits[] = "0123456789ABCDEF";
      shown += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 15]};
    } else {
      shown += character;
    }
  }
  return shown;
}

}  // namespace rawout
