#include "check/process_state.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "check/protocol.h"

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace rawout {

namespace {

// Facts that list or count what the process holds.
bool isResource(const std::string& fact) {
  return fact == "threads" || fact == "child processes" || fact == "open descriptors" ||
         fact == "open handles" || fact == "C runtime descriptors";
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

}  // namespace

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
    const std::string expected = isResource(fact) && keepsAll(valueOf(before, fact), seen)
                                     ? valueOf(between, fact)
                                     : valueOf(before, fact);
    if (seen != expected) {
      changes.push_back(fact);
      changes.back().append(" ").append(seen).append(", expected ").append(expected);
    }
  }
  return changes;
}

OutputCapture::OutputCapture(const std::string& file) : file_(file) {
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  std::FILE* capture = std::fopen(file.c_str(), "wb");
  if (capture == nullptr) {
    throw CheckTrouble("cannot make " + file + " to hold the plug-in's output");
  }
  savedOutput_ = ::dup(::fileno(stdout));
  savedError_ = ::dup(::fileno(stderr));
  (void)::dup2(::fileno(capture), ::fileno(stdout));
  (void)::dup2(::fileno(capture), ::fileno(stderr));
  (void)std::fclose(capture);
}

OutputCapture::~OutputCapture() { (void)stop(); }

std::string OutputCapture::stop() {
  if (savedOutput_ < 0) {
    return {};
  }
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  (void)::dup2(savedOutput_, ::fileno(stdout));
  (void)::dup2(savedError_, ::fileno(stderr));
  ::close(std::exchange(savedOutput_, -1));
  ::close(std::exchange(savedError_, -1));
  std::ifstream captured(file_, std::ios::binary);
  return {std::istreambuf_iterator<char>(captured), std::istreambuf_iterator<char>()};
}

}  // namespace rawout
