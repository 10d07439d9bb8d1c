#include "text/printable.h"

namespace rawout {

std::size_t utf8SequenceAt(const std::string& text, std::size_t index, std::uint32_t& codePoint) {
  const auto byte = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned lead = byte(index);
  std::size_t length = 0;
  std::uint32_t least = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  if ((lead >> 5) == 6) {
    length = 2;
    least = 0x80;
    codePoint = lead & 0x1F;
  } else if ((lead >> 4) == 14) {
    length = 3;
    least = 0x800;
    codePoint = lead & 0x0F;
  } else if ((lead >> 3) == 30) {
    length = 4;
    least = 0x10000;
    codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (index + length > text.size()) {
    return 0;
  }
  for (std::size_t next = 1; next < length; ++next) {
    if ((byte(index + next) >> 6) != 2) {
      return 0;
    }
    codePoint = (codePoint << 6) | (byte(index + next) & 0x3F);
  }
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  return codePoint < least || codePoint > 0x10FFFF || surrogate ? 0 : length;
}

std::size_t characterAt(const std::string& text, std::size_t index) {
  std::uint32_t codePoint = 0;
  const std::size_t length = utf8SequenceAt(text, index, codePoint);
  return length == 0 ? 1 : length;
}

std::size_t controlAt(const std::string& text, std::size_t index) {
  const auto lead = static_cast<unsigned char>(text[index]);
  if (lead < 0x20 || lead == 0x7F) {
    return 1;
  }
  if (lead < 0x80) {
    return 0;
  }
  std::uint32_t codePoint = 0;
  const std::size_t length = utf8SequenceAt(text, index, codePoint);
  if (length == 0) {
    return lead <= 0x9F ? 1 : 0;  // a C1 control of 8-bit text
  }
  return codePoint >= 0x80 && codePoint <= 0x9F ? length : 0;
}

std::string printable(const std::string& text) {
  std::string shown;
  for (std::size_t index = 0; index < text.size();) {
    std::size_t control = controlAt(text, index);
    if (control == 0) {
      const std::size_t length = characterAt(text, index);
      shown.append(text, index, length);
      index += length;
      continue;
    }
    for (; control > 0; --control, ++index) {
      const auto byte = static_cast<unsigned char>(text[index]);
      shown += {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 15]};
    }
  }
  return shown;
}

}  // namespace rawout
