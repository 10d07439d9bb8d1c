// What a save costs the operating system: an open with truncation, the write between blocking
// and restoring the two signals a failed write raises, and a close. And exporthost when a system
// call fails under it, failed by the tracer.
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "files/files.h"

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

// A system call that fails under exporthost: the tracer's injections, what exporthost is asked
// in a folder of the row's ("DIR") with rawout's module ("MODULE", named from here), and what it
// must say. An export's output is new or exists beforehand, as `output` has it; whatever the
// failure, it is then the new bytes or left as it was, and no folder of exporthost's stays, beside
// the output or in TMPDIR.
enum class Output { New, Plain, TwoNames, Link };
struct FailedCall {
  const char* name;
  std::string injected;  // strace's inject= arguments, a space between two
  std::vector<std::string> command;
  Output output;
  int exitCode;
  std::string says;  // the end of standard error, or of the output when it succeeds
};
void PrintTo(const FailedCall& row, std::ostream* out) { *out << row.name; }

const std::vector<std::string> kExport = {"export", "DIR/in.prg", "DIR/out"};
const std::vector<std::string> kCheck = {"check", "--only=every-byte-value"};
const std::vector<std::string> kReference = {"check", "--only=content", "--reference=cat"};
const std::vector<std::string> kCheckRelative = {"check", "--only=quiet", "--plugin", "MODULE"};
const std::string kCannot = "DIR/out.bin: cannot export as Binary File: ";
const std::string kIoError = kCannot + "Input/output error\n";
const std::string kNoProcess = "Resource temporarily unavailable\n";
const FailedCall kFailedCalls[] = {
    {"no_pidfd", "pidfd_open:error=ENOSYS", kExport, Output::Plain, 0, " as Binary File\n"},
    // The first alone: a sanitizer tries whether memory may be read through pipes of its own.
    {"no_pipe", "pipe2:error=EMFILE:when=1", kExport, Output::Plain, 1,
     "save: Too many open files\n"},
    {"no_fork", "clone:error=EAGAIN", kExport, Output::Plain, 1, "save: " + kNoProcess},
    {"no_scratch", "mkdir:error=EACCES", kExport, Output::Plain, 1, ": Permission denied\n"},
    {"no_rename_new", "rename:error=EIO", kExport, Output::New, 1, kIoError},
    {"no_rename", "rename:error=EIO", kExport, Output::Plain, 1, kIoError},
    {"no_rename_beside", "rename:error=EIO", kExport, Output::Link, 1, kIoError},
    {"no_fallocate", "fallocate:error=EOPNOTSUPP", kExport, Output::TwoNames, 0, "File\n"},
    {"fallocate_fails", "fallocate:error=EIO", kExport, Output::TwoNames, 1, kIoError},
    {"no_statfs", "fallocate:error=EOPNOTSUPP fstatfs:error=EIO", kExport, Output::TwoNames, 1,
     kIoError},
    {"check_no_pidfd", "pidfd_open:error=ENOSYS", kCheck, Output::Plain, 0, ""},
    {"check_no_spawn", "clone3:error=EAGAIN clone:error=EAGAIN", kCheck, Output::Plain, 2,
     "cannot start a check process: " + kNoProcess},
    // No thread for checks side by side: they run one after another.
    {"check_no_thread",
     "clone3:error=EAGAIN:when=1",
     {"check", "--only=every-byte-value,quiet", "--jobs=2"},
     Output::Plain,
     0,
     ""},
    // No thread for a check's own use is exporthost's trouble, not the plug-in's failure; the
    // saving threads already started are joined.
    {"threads_not_all_started",
     "clone3:error=EAGAIN:when=4+",
     {"check", "--only=threads"},
     Output::Plain,
     2,
     "cannot start a saving thread: " + kNoProcess},
    {"description_no_thread",
     "clone3:error=EAGAIN:when=2+",
     {"check", "--only=description-address"},
     Output::Plain,
     2,
     "cannot start a thread: " + kNoProcess},
    {"reference_waited_again", "wait4:error=EINTR:when=1", kReference, Output::Plain, 0, ""},
    {"reference_not_started", "clone3:error=EAGAIN:when=1", kReference, Output::Plain, 2,
     "the reference command cat cannot be run: " + kNoProcess},
    // A relative plug-in path that cannot be made absolute would name another file in the check
    // process, which works in a folder of its own.
    {"check_no_working_folder", "getcwd:error=ENOENT", kCheckRelative, Output::Plain, 2,
     "cannot name the working folder, from which MODULE is named: No such file or directory\n"},
    {"check_no_folder", "chdir:error=EACCES", kCheck, Output::Plain, 2,
     "cannot enter the check's working folder\n"},
};

class EachFailedCall : public testing::TestWithParam<FailedCall> {};

TEST_P(EachFailedCall, IsReportedAndLosesNothing) {
  REQUIRE_TOOL("strace");
  const FailedCall& row = GetParam();
  const TempDir dir;
  const Bytes bytes = pattern(3000, 41);
  const Bytes old = pattern(9000, 42);
  writeFile(dir / "in.prg", bytes);
  std::filesystem::create_directory(dir / "tmp");
  const std::string written = row.output == Output::Link ? dir / "target" : dir / "out.bin";
  if (row.output != Output::New) {
    writeFile(written, old);
  }
  if (row.output == Output::Link) {
    ASSERT_EQ(0, ::symlink("target", (dir / "out.bin").c_str()));
  } else if (row.output == Output::TwoNames) {
    ASSERT_EQ(0, ::link(written.c_str(), (dir / "second").c_str()));
  }
  const std::set<std::string> entries = folderEntries(dir.path());
  const auto inDir = [&](std::string text) {
    for (std::size_t at; (at = text.find("DIR")) != std::string::npos;) {
      text.replace(at, 3, dir.path());
    }
    const std::string module = std::filesystem::relative(RAWOUT_MODULE_PATH).string();
    for (std::size_t at; (at = text.find("MODULE")) != std::string::npos;) {
      text.replace(at, 6, module);
    }
    return text;
  };
  ScopedEnvironment environment;
  environment.set("ASAN_OPTIONS", "detect_leaks=0");  // the leak checker cannot run under a tracer
  environment.set("TMPDIR", dir / "tmp");
  std::vector<std::string> command = {toolPath("strace"), "-f", "-qq", "-o", "/dev/null"};
  std::istringstream injections(row.injected);
  for (std::string injected; injections >> injected;) {
    command.insert(command.end(), {"-e", "inject=" + injected});
  }
  command.push_back(EXPORTHOST_PATH);
  for (const std::string& word : row.command) {
    command.push_back(inDir(word));
  }
  const ProcessResult result = runProcess(command);
  EXPECT_EQ(row.exitCode, result.exitCode) << result.out << result.err;
  EXPECT_TRUE((result.exitCode == 0 ? result.out : result.err).ends_with(inDir(row.says)))
      << result.out << result.err;
  if (result.exitCode == 0 && row.command == kExport) {
    EXPECT_EQ(bytes, readFile(written));
  } else if (row.output != Output::New) {
    EXPECT_EQ(old, readFile(written));
  }
  EXPECT_EQ(entries, folderEntries(dir.path()));
  EXPECT_TRUE(folderEntries(dir / "tmp").empty());
}

INSTANTIATE_TEST_SUITE_P(Exporthost, EachFailedCall, testing::ValuesIn(kFailedCalls),
                         [](const testing::TestParamInfo<FailedCall>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace rawout::test
