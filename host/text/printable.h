// Text a plug-in chose, made safe to show: a control character there could forge a line or drive
// the terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rawout {

// The digits of \xHH, shared by everything that shows a byte so.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// The length of the strict UTF-8 sequence at `index` (no overlong forms, surrogates or code
// points past U+10FFFF), or 0 when the bytes there are not one. `codePoint` receives its value.
std::size_t utf8SequenceAt(const std::string& text, std::size_t index, std::uint32_t& codePoint);

// Control characters as \xHH, byte by byte: C0 and DEL, the C1 controls whether encoded in UTF-8
// or standing alone (8-bit text), and nothing else.
std::string printable(const std::string& text);

// The bytes of the character at `index`: a UTF-8 sequence's, or 1 for any other byte.
std::size_t characterAt(const std::string& text, std::size_t index);
// Whether the character at `index` is a control character: its bytes, or 0 when it is none.
std::size_t controlAt(const std::string& text, std::size_t index);

}  // namespace rawout
