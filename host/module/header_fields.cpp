#include "module/header_fields.h"

#include <array>
#include <cstdio>
#include <utility>

namespace rawout {

std::optional<std::uint64_t> HeaderFields::number(std::uint64_t offset, unsigned bytes) const {
  std::array<unsigned char, 8> raw{};
  if (bytes > raw.size() || source_(offset, raw.data(), bytes) != bytes) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (unsigned index = 0; index < bytes; ++index) {
    const unsigned char byte = raw[big_ ? index : bytes - 1 - index];
    value = value << 8U | byte;
  }
  return value;
}

std::optional<std::string> HeaderFields::text(std::uint64_t offset, std::size_t most) const {
  std::string text;
  std::array<char, 64> chunk{};
  while (text.size() < most) {
    const std::size_t got = source_(offset + text.size(), chunk.data(), chunk.size());
    if (got == 0) {
      return std::nullopt;
    }
    for (std::size_t index = 0; index < got; ++index) {
      if (chunk[index] == '\0') {
        return text;
      }
      text += chunk[index];
    }
  }
  return std::nullopt;
}

namespace {

std::string named(unsigned field, std::initializer_list<std::pair<unsigned, const char*>> names) {
  for (const auto& [value, name] : names) {
    if (value == field) {
      return name;
    }
  }
  char text[24];
  (void)std::snprintf(text, sizeof text, "machine 0x%X", field);
  return text;
}

}  // namespace

std::string elfMachine(unsigned field) {
  return named(field, {{3, "i386"},
                       {62, "x86-64"},
                       {40, "ARM"},
                       {183, "AArch64"},
                       {243, "RISC-V"},
                       {8, "MIPS"},
                       {20, "PowerPC"},
                       {21, "PowerPC64"},
                       {22, "S/390"},
                       {2, "SPARC"},
                       {43, "SPARC V9"},
                       {50, "IA-64"},
                       {258, "LoongArch"}});
}

std::string peMachine(unsigned field) {
  return named(field, {{0x14C, "i386"},
                       {0x8664, "x86-64"},
                       {0x1C0, "ARM"},
                       {0x1C4, "ARM Thumb-2"},
                       {0xAA64, "AArch64"},
                       {0x200, "IA-64"}});
}

}  // namespace rawout
