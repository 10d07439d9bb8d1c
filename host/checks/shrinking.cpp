#include "checks/shrinking.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace rawout {

namespace {

// A token that shows a number or a byte: one with a digit, two upper-case hex digits, or the
// "(end)" that stands where a file's bytes end.
bool showsANumber(const std::string& token) {
  if (token.find("(end)") != std::string::npos) {
    return true;
  }
  std::string bare;
  for (const char character : token) {
    if (std::isalnum(static_cast<unsigned char>(character)) != 0) {
      bare += character;
    }
  }
  const bool hexByte =
      bare.size() == 2 && std::all_of(bare.begin(), bare.end(), [](char each) {
        return std::isdigit(static_cast<unsigned char>(each)) != 0 || (each >= 'A' && each <= 'F');
      });
  return hexByte || std::any_of(token.begin(), token.end(), [](char each) {
           return std::isdigit(static_cast<unsigned char>(each)) != 0;
         });
}

// Tries candidates within the bound, keeping the smallest that fails the same way.
class Shrinker {
 public:
  Shrinker(ByteView block, const std::string& failure, const BlockFailure& fails,
           std::chrono::steady_clock::time_point until, std::size_t mostSaves)
      : shape_(failureShape(failure)), fails_(fails), until_(until), mostSaves_(mostSaves) {
    best_.bytes.assign(block.begin(), block.end());
    best_.failure = failure;
  }

  [[nodiscard]] bool spent() const { return best_.saves >= mostSaves_ || best_.outOfTime; }

  // Whether `candidate` fails the same way; if so, it is the best yet.
  bool tryBlock(Bytes candidate) {
    if (!spent()) {
      best_.outOfTime = std::chrono::steady_clock::now() >= until_;
    }
    if (spent()) {
      return false;
    }
    ++best_.saves;
    std::string failure = fails_(candidate);
    if (failure.empty() || failureShape(failure) != shape_) {
      return false;
    }
    best_.bytes = std::move(candidate);
    best_.failure = std::move(failure);
    return true;
  }

  // The bytes of the best from `start`, `size` of them.
  [[nodiscard]] Bytes run(std::size_t start, std::size_t size) const {
    const auto from = best_.bytes.begin() + static_cast<std::ptrdiff_t>(start);
    return {from, from + static_cast<std::ptrdiff_t>(size)};
  }

  // The shortest failing start of the block: a binary search on whether a length or the one
  // after it fails, for a failure that needs a length of one parity.
  void shortenTheEnd() {
    const Bytes whole = best_.bytes;
    const auto fails = [this, &whole](std::size_t size) {
      return size == best_.bytes.size() ||
             tryBlock(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
    };
    std::size_t passes = 0;  // taken to pass, with the length after it
    std::size_t failing = whole.size();
    while (passes + 1 < failing && !spent()) {
      const std::size_t middle = passes + (failing - passes) / 2;
      (fails(middle) || fails(middle + 1) ? failing : passes) = middle;
    }
  }

  // Then the latest start that still fails, the same way: whether a start or the one before it
  // fails.
  void shortenTheStart() {
    const Bytes whole = best_.bytes;
    const auto fails = [this, &whole](std::size_t start) {
      return whole.size() - start == best_.bytes.size() ||
             tryBlock(Bytes(whole.begin() + static_cast<std::ptrdiff_t>(start), whole.end()));
    };
    std::size_t failing = 0;
    std::size_t passes = whole.size();  // taken to pass, with the start before it
    while (failing + 1 < passes && !spent()) {
      const std::size_t middle = failing + (passes - failing) / 2;
      (fails(middle) || fails(middle - 1) ? failing : passes) = middle;
    }
  }

  // Then runs of bytes made zero, halving the runs, while that still fails.
  void zeroBytes() {
    for (std::size_t run = std::max<std::size_t>(best_.bytes.size() / 2, 1); !spent(); run /= 2) {
      bool zeroAlready = true;
      for (std::size_t start = 0; start < best_.bytes.size() && !spent(); start += run) {
        const std::size_t end = std::min(start + run, best_.bytes.size());
        const auto first = best_.bytes.begin() + static_cast<std::ptrdiff_t>(start);
        const auto last = best_.bytes.begin() + static_cast<std::ptrdiff_t>(end);
        if (std::all_of(first, last, [](unsigned char byte) { return byte == 0; })) {
          continue;
        }
        zeroAlready = false;
        Bytes zeroed = best_.bytes;
        std::fill(zeroed.begin() + static_cast<std::ptrdiff_t>(start),
                  zeroed.begin() + static_cast<std::ptrdiff_t>(end), 0);
        (void)tryBlock(std::move(zeroed));
      }
      if (run == 1 || zeroAlready) {
        break;
      }
    }
  }

  SmallestBlock take() { return std::move(best_); }

 private:
  std::string shape_;
  const BlockFailure& fails_;
  std::chrono::steady_clock::time_point until_;
  std::size_t mostSaves_;
  SmallestBlock best_;
};

}  // namespace

std::string failureShape(const std::string& failure) {
  // What a failure shows after its colon (the bytes or the line about a difference) and the line
  // it is on differ with the block; a run of numbers is one mark.
  const std::size_t shown = failure.find(": ");
  std::string shape;
  std::string token;
  bool afterNumber = false;
  const auto endToken = [&] {
    if (!showsANumber(token) && token != "line") {
      shape += (shape.empty() ? "" : " ") + token;
      afterNumber = false;
    } else if (!afterNumber) {
      shape += (shape.empty() ? "" : " ") + std::string("#");
      afterNumber = true;
    }
    token.clear();
  };
  for (const char character : failure.substr(0, shown)) {
    if (character == ' ') {
      endToken();
    } else {
      token += character;
    }
  }
  endToken();
  return shape;
}

SmallestBlock smallestFailing(ByteView block, const std::string& failure, const BlockFailure& fails,
                              std::chrono::steady_clock::time_point until, std::size_t mostSaves) {
  Shrinker shrinker(block, failure, fails, until, mostSaves);
  shrinker.shortenTheEnd();
  shrinker.shortenTheStart();
  shrinker.zeroBytes();
  return shrinker.take();
}

std::string describedBlock(ByteView bytes) {
  constexpr std::size_t kShown = 16;
  if (std::all_of(bytes.begin(), bytes.end(), [](unsigned char byte) { return byte == 0; })) {
    return std::to_string(bytes.size()) + (bytes.size() == 1 ? " zero byte" : " zero bytes");
  }
  std::string shown;
  for (std::size_t index = 0; index < bytes.size() && index < kShown; ++index) {
    char hex[4];
    (void)std::snprintf(hex, sizeof hex, "%s%02x", index == 0 ? "" : " ", bytes[index]);
    shown += hex;
  }
  return std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte: " : " bytes: ") + shown +
         (bytes.size() > kShown ? " ..." : "");
}

}  // namespace rawout
