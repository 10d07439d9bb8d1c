// A failing block made as small as a bounded number of saves finds, as property-testing tools
// shrink a failing input before they show it: first the shortest run of its bytes that still
// fails, then as many of those bytes zero as still fail.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "memory/huge_pages.h"

namespace rawout {

// How a block fails when saved: the failure, or "" when it does not.
using BlockFailure = std::function<std::string(ByteView block)>;

struct SmallestBlock {
  Bytes bytes;
  std::string failure;     // how it fails
  std::size_t saves = 0;   // how many were tried to find it
  bool outOfTime = false;  // the search stopped at its time, not at its end or its bound
};

// The most saves a block is shrunk with.
inline constexpr std::size_t kMostShrinkingSaves = 300;

// The smallest block found, by size and then by bytes, that fails as `failure` says `block`
// does, the same way: in the same words, whatever numbers and bytes they show. `block` itself
// when none smaller does. No save starts after `until`.
SmallestBlock smallestFailing(ByteView block, const std::string& failure, const BlockFailure& fails,
                              std::chrono::steady_clock::time_point until,
                              std::size_t mostSaves = kMostShrinkingSaves);

// A failure's words up to what it shows of a difference, the numbers left out: two failures of
// the same kind read the same ("# differs from the bytes handed over at byte #").
std::string failureShape(const std::string& failure);

// "3 bytes: de ad 00", "101 zero bytes", "5000 bytes, starting 12 34 56 ...".
std::string describedBlock(ByteView bytes);

}  // namespace rawout
