// What a save costs the operating system: an open with truncation, the write between blocking
// and restoring the two signals a failed write raises, and a close.
#include <regex>
#include <sstream>

#include "test_support.h"

namespace rawout::test {
namespace {

// The system calls that the save made, one line each, as the tracer printed them.
std::vector<std::string> tracedSave(const TempDir& dir, std::size_t size) {
  const std::string trace = dir / "trace";
  ScopedEnvironment environment;
  environment.set("ASAN_OPTIONS", "detect_leaks=0");  // the leak checker cannot run under a tracer
  const ProcessResult run =
      runProcess({toolPath("strace"), "-qq", "-e", "signal=none", "-o", trace, SAVE_ONCE_PATH,
                  RAWOUT_MODULE_PATH, dir / "traced", std::to_string(size)});
  EXPECT_EQ(0, run.exitCode) << run.err;
  const Bytes bytes = readFile(trace);
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  std::vector<std::string> calls;
  bool inside = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\"rawout-begin\"") != std::string::npos) {
      inside = true;
    } else if (line.find("\"rawout-end\"") != std::string::npos) {
      break;
    } else if (inside) {
      calls.push_back(std::regex_replace(line, std::regex(R"( +=)"), " ="));
    }
  }
  return calls;
}

std::string nameOf(const std::string& call) { return call.substr(0, call.find('(')); }

TEST(SaveCost, OpenGuardedWriteCloseAndNothingElse) {
  REQUIRE_TOOL("strace");
  const TempDir dir;
  const auto calls = tracedSave(dir, 100000);
  ASSERT_EQ(5U, calls.size()) << ::testing::PrintToString(calls);
  EXPECT_EQ("openat", nameOf(calls[0]));
  EXPECT_NE(std::string::npos, calls[0].find("traced.bin\", O_WRONLY|O_CREAT|O_TRUNC|O_CLOEXEC"))
      << calls[0];
  std::smatch opened;
  std::regex_search(calls[0], opened, std::regex(R"(= (\d+)$)"));
  ASSERT_EQ(2U, opened.size()) << calls[0];
  const std::string fd = opened[1];
  EXPECT_EQ("rt_sigprocmask(SIG_BLOCK, [PIPE XFSZ], [], 8) = 0", calls[1]);
  EXPECT_EQ(0U, calls[2].rfind("write(" + fd + ", ", 0)) << calls[2];
  EXPECT_NE(std::string::npos, calls[2].find(", 100000) = 100000")) << calls[2];
  EXPECT_EQ("rt_sigprocmask(SIG_SETMASK, [], NULL, 8) = 0", calls[3]);
  EXPECT_EQ("close(" + fd + ") = 0", calls[4]);
}

TEST(SaveCost, EmptyBlockIsOpenAndCloseOnly) {
  REQUIRE_TOOL("strace");
  const TempDir dir;
  const auto calls = tracedSave(dir, 0);
  ASSERT_EQ(2U, calls.size()) << ::testing::PrintToString(calls);
  EXPECT_EQ("openat", nameOf(calls[0]));
  EXPECT_EQ("close", nameOf(calls[1]));
}

}  // namespace
}  // namespace rawout::test
