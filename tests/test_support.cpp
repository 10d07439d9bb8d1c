#include "test_support.h"

#include "checks/blocks.h"
#include "files/files.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <utility>

namespace rawout::test {

namespace {
#ifdef _WIN32
constexpr char kPathListSeparator = ';';
constexpr char kExecutableSuffix[] = ".exe";
#else
constexpr char kPathListSeparator = ':';
constexpr char kExecutableSuffix[] = "";
#endif
}  // namespace

const ExportPlugin& plugin() {
  static const auto loaded = std::make_unique<ExportPlugin>(RAWOUT_MODULE_PATH);
  return *loaded;
}

int SaveSeen::exitCode() const {
  // 0 and 1 are results; the problems from 10 on.
  return problem == Problem::None            ? result
         : problem == Problem::EndedBySignal ? 128 + signal
                                             : 10 + static_cast<int>(problem);
}

SaveSeen SaveSeen::fromExitCode(int code) {
  if (code == 0 || code == 1) {
    return {code, Problem::None, 0};
  }
  if (code > 128) {
    return {-1, Problem::EndedBySignal, code - 128};
  }
  if (code > 10 && code <= 10 + static_cast<int>(Problem::ChildSetupFailed)) {
    return {-1, static_cast<Problem>(code - 10), 0};
  }
  return {code, Problem::ChildSetupFailed, 0};
}

void PrintTo(const SaveSeen& seen, std::ostream* out) {
  constexpr const char* kProblems[] = {"",
                                       "the extension buffer not as the result requires",
                                       "the thread's signal mask changed or a signal left pending",
                                       "errno other than the one expected",
                                       "the test's preparation in the child failed",
                                       "the saving process ended by signal "};
  if (seen.problem == SaveSeen::Problem::None) {
    *out << "result " << seen.result;
    return;
  }
  if (seen.result >= 0 && seen.problem != SaveSeen::Problem::ChildSetupFailed) {
    *out << "result " << seen.result << " with ";
  }
  *out << kProblems[static_cast<int>(seen.problem)];
  if (seen.problem == SaveSeen::Problem::EndedBySignal) {
    *out << seen.signal;
  }
}

SaveSeen saveChecked(const Bytes& bytes, const char* baseName) {
  constexpr std::array<char, 8> kMarked = {'u', 'n', 't', 'o', 'u', 'c', 'h', 'd'};
  constexpr std::array<char, 8> kSaved = {'.', 'b', 'i', 'n', '\0', 'c', 'h', 'd'};
  std::array<char, 8> ext = kMarked;
  const int result = plugin().savePrgmFile(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                           baseName, ext.data());
  return {result,
          ext == (result == 1 ? kSaved : kMarked) ? SaveSeen::Problem::None
                                                  : SaveSeen::Problem::ExtensionBuffer,
          0};
}

Bytes readFile(const std::string& path) {
  auto bytes = fileBytes(path);
  if (!bytes) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return std::move(*bytes);
}

void writeFile(const std::string& path, const Bytes& bytes) {
  ASSERT_TRUE(rawout::writeFile(path, bytes.data(), bytes.size())) << "cannot write " << path;
}

ProcessFiles::ProcessFiles(const Stdin& input)
    : in_(input.path.empty() ? scratch_ / "in" : input.path) {
  if (input.path.empty() && !input.pipe) {
    writeFile(in_, Bytes(input.bytes.begin(), input.bytes.end()));
  }
}

void ProcessFiles::collect(ProcessResult& result) const {
  for (const auto& [path, text] : {std::pair{&out_, &result.out}, {&err_, &result.err}}) {
    for (const auto byte : readFile(*path)) {
      if (byte != '\r') {
        text->push_back(static_cast<char>(byte));
      }
    }
  }
}

std::string toolPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "");
  std::string folder;
  while (std::getline(folders, folder, kPathListSeparator)) {
    const std::string candidate = folder + "/" + name + kExecutableSuffix;
    if (::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return {};
}

bool inCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && *ci != '\0' && std::string(ci) != "false" && std::string(ci) != "0";
}

}  // namespace rawout::test
