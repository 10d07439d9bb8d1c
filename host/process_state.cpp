#include "process_state.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>

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

std::vector<std::string> differences(const ProcessState& after, const ProcessState& before) {
  std::vector<std::string> found;
  const auto compare = [&](const char* what, const std::string& seen, const std::string& expected) {
    if (seen != expected) {
      found.push_back(std::string(what) + " " + seen + ", expected " + expected);
    }
  };
  compare("open descriptors", std::to_string(after.openDescriptors),
          std::to_string(before.openDescriptors));
  compare("open handles", std::to_string(after.openHandles), std::to_string(before.openHandles));
  compare("working folder", after.workingFolder, before.workingFolder);
  compare("umask", after.umask, before.umask);
  compare("signal mask", after.signalMask, before.signalMask);
  if (after.environment != before.environment) {
    found.emplace_back("environment changed, expected it as it was");
  }
  return found;
}

OutputCapture::OutputCapture(const std::string& file) : file_(file) {
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  std::FILE* capture = std::fopen(file.c_str(), "wb");
  if (capture == nullptr) {
    return;
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
