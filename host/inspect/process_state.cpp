#include "inspect/process_state.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

namespace rawout {

namespace {

// Facts that list or count what the process holds.
bool isResource(const std::string& fact) {
  return fact == "threads" || fact == "child processes" || fact == "open descriptors" ||
         fact == "open handles" || fact == "C runtime descriptors";
}

// What a plug-in may set up once and keep: open files. A thread or process left running after a
// call returns is one that runs on when the host unloads the plug-in.
bool mayBeSetUp(const std::string& fact) {
  return fact == "open descriptors" || fact == "open handles" || fact == "C runtime descriptors";
}

std::string valueOf(const ProcessState& state, const std::string& fact) {
  const auto value = state.find(fact);
  return value == state.end() ? std::string("none") : value->second;
}

// Whether every space-separated item of `held` is still in `now`.
bool keepsAll(const std::string& held, const std::string& now) {
  std::istringstream items(held);
  std::istringstream remaining(now);
  const std::set<std::string> kept{std::istream_iterator<std::string>(remaining), {}};
  return std::all_of(std::istream_iterator<std::string>(items), {},
                     [&kept](const std::string& item) { return kept.contains(item); });
}

// The items of `held` that `other` lacks, space-separated; a count holds no items.
std::string missingFrom(const std::string& held, const std::string& other) {
  std::istringstream items(held);
  std::istringstream others(other);
  const std::set<std::string> present{std::istream_iterator<std::string>(others), {}};
  std::string missing;
  for (auto item = std::istream_iterator<std::string>(items);
       item != std::istream_iterator<std::string>(); ++item) {
    if (!present.contains(*item) && *item != "none") {
      missing += (missing.empty() ? "" : " ") + *item;
    }
  }
  return missing;
}

}  // namespace

bool insideAny(const AddressRanges& ranges, const void* pointer) {
  const auto address = reinterpret_cast<std::uintptr_t>(pointer);  // NOLINT: compared only
  return std::any_of(ranges.begin(), ranges.end(), [address](const auto& range) {
    return address >= range.first && address < range.second;
  });
}

std::vector<std::string> entriesInside(const AddressRanges& ranges, char* const* environment) {
  std::vector<std::string> held;
  for (char* const* entry = environment; entry != nullptr && *entry != nullptr; ++entry) {
    if (insideAny(ranges, *entry)) {
      held.push_back("environment entry " + std::to_string(entry - environment));
    }
  }
  return held;
}

std::vector<std::string> changesOverCalls(const ProcessState& before, const ProcessState& between,
                                          const ProcessState& after) {
  std::set<std::string> facts;
  for (const ProcessState* state : {&before, &between, &after}) {
    for (const auto& [fact, value] : *state) {
      facts.insert(fact);
    }
  }
  std::vector<std::string> changes;
  for (const std::string& fact : facts) {
    const std::string seen = valueOf(after, fact);
    const std::string expected = mayBeSetUp(fact) && keepsAll(valueOf(before, fact), seen)
                                     ? valueOf(between, fact)
                                     : valueOf(before, fact);
    if (seen == expected) {
      continue;
    }
    const auto isCount = [](const std::string& value) {
      return !value.empty() && std::all_of(value.begin(), value.end(),
                                           [](char digit) { return digit >= '0' && digit <= '9'; });
    };
    if (isResource(fact) && !isCount(seen) && !isCount(expected)) {
      // What is new or gone says more than two long lists.
      const std::string added = missingFrom(seen, expected);
      const std::string gone = missingFrom(expected, seen);
      changes.push_back(fact + ":" + (added.empty() ? "" : " " + added + " more") +
                        (gone.empty() ? "" : (added.empty() ? " " : ", ") + gone + " fewer") +
                        " than expected");
      continue;
    }
    changes.push_back(fact);
    changes.back().append(" ").append(seen).append(", expected ").append(expected);
  }
  return changes;
}

}  // namespace rawout
