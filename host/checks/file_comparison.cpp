#include "checks/file_comparison.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "files/files.h"
#include "text/paths.h"
#include "text/printable.h"

namespace rawout {

namespace {

// Printable ASCII, UTF-8, tabs and line ends only: a format of lines, shown by the line.
bool looksLikeText(ByteView bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](unsigned char byte) {
    return (byte >= 0x20 && byte != 0x7F) || byte == '\t' || byte == '\n' || byte == '\r';
  });
}

// The bytes around `at`, in hex, the one at `at` in brackets: "07 08 [0d] 0a 0b"; "(end)" where
// the file ends.
std::string bytesAround(ByteView bytes, std::size_t at) {
  constexpr std::size_t kAround = 4;
  std::string shown;
  for (std::size_t index = at < kAround ? 0 : at - kAround; index <= at + kAround; ++index) {
    shown += shown.empty() ? "" : " ";
    if (index >= bytes.size()) {
      return shown + (index == at ? "[(end)]" : "(end)");
    }
    const std::string hex = {kHexDigits[bytes[index] >> 4], kHexDigits[bytes[index] & 15]};
    shown += index == at ? "[" + hex + "]" : hex;
  }
  return shown;
}

// The line that holds byte `at`, escaped, cut to a window about `at` when it is long.
std::string lineAround(ByteView bytes, std::size_t at) {
  constexpr std::size_t kShown = 72;
  const auto before =
      std::find(std::make_reverse_iterator(bytes.begin() +
                                           static_cast<std::ptrdiff_t>(std::min(at, bytes.size()))),
                bytes.rend(), '\n');
  std::size_t start = static_cast<std::size_t>(bytes.rend() - before);
  const auto after =
      std::find(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end(), '\n');
  std::size_t end = static_cast<std::size_t>(after - bytes.begin());
  const bool cutBefore = at > start + kShown / 2;
  start = cutBefore ? at - kShown / 2 : start;
  const bool cutAfter = end > start + kShown;
  end = cutAfter ? start + kShown : end;
  return std::string(cutBefore ? "..." : "") + "\"" +
         printable(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                               bytes.begin() + static_cast<std::ptrdiff_t>(end))) +
         "\"" + (cutAfter ? "..." : "");
}

// Where `held` first differs from `expected`, both sides shown: by the line for text, else the
// bytes about it.
std::string firstDifference(ByteView held, ByteView expected) {
  // Whole pages compared first: a difference megabytes in is found at memcmp's speed.
  constexpr std::size_t kPage = 4096;
  const std::size_t common = std::min(held.size(), expected.size());
  std::size_t equalPages = 0;
  while (equalPages + kPage <= common &&
         std::memcmp(held.data() + equalPages, expected.data() + equalPages, kPage) == 0) {
    equalPages += kPage;
  }
  const auto differs =
      std::mismatch(held.begin() + static_cast<std::ptrdiff_t>(equalPages), held.end(),
                    expected.begin() + static_cast<std::ptrdiff_t>(equalPages), expected.end());
  const auto at = static_cast<std::size_t>(differs.first - held.begin());
  const std::string where = "byte " + std::to_string(at);
  if (looksLikeText(held) && looksLikeText(expected)) {
    const auto line = std::count(held.begin(), differs.first, '\n') + 1;
    return where + ", line " + std::to_string(line) + ": " + lineAround(held, at) + ", expected " +
           lineAround(expected, at);
  }
  return where + ": " + bytesAround(held, at) + ", expected " + bytesAround(expected, at);
}

}  // namespace

std::string compareFile(const std::string& path, ByteView expected, const std::string& what) {
  const std::string name = printable(lastComponent(path));
  const auto held = fileBytes(path);
  if (!held) {
    return "no file " + name + ", expected it to hold " + std::to_string(expected.size()) +
           " bytes";
  }
  if (held->size() != expected.size()) {
    return name + " holds " + std::to_string(held->size()) + " bytes, expected " +
           std::to_string(expected.size()) + "; the first difference from " + what + " at " +
           firstDifference(*held, expected);
  }
  if (!std::equal(held->begin(), held->end(), expected.begin(), expected.end())) {
    return name + " differs from " + what + " at " + firstDifference(*held, expected);
  }
  return {};
}

}  // namespace rawout
