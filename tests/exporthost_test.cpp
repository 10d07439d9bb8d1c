// exporthost as a user runs it: commands, output, files and exit codes.
#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "checks/check_table.h"
#include "files/files.h"
#include "test_support.h"
#include "text/paths.h"
#include "text/printable.h"
#include "text/quoted_name.h"

namespace rawout::test {
namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;
constexpr int kTrouble = 2;  // exporthost's own

ProcessResult exporthost(std::vector<std::string> arguments, const Stdin& input = {}) {
  arguments.insert(arguments.begin(), EXPORTHOST_PATH);
  return runProcess(arguments, input);
}

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

std::string testPlugin(const std::string& variant) {
  return std::string(TEST_PLUGIN_DIR) + "/" + variant + "_plugin" + TEST_PLUGIN_SUFFIX;
}

// A sanitized build would take a plug-in's crash for its own report.
void letCrashesCrash(ScopedEnvironment& environment) {
  for (const std::string options : {"ASAN_OPTIONS", "TSAN_OPTIONS"}) {
    const char* set = std::getenv(options.c_str());
    environment.set(options, std::string(set != nullptr ? set : "") + ":handle_segv=0");
  }
}

#ifndef _WIN32
// As root, `command` run as nobody, since root ignores a folder's mode. Nobody must reach the
// programs and plug-ins it names, wherever the build lies: they are copied into `dir`, made
// passable, and the command names the copies. As anyone else, the command as it is.
std::vector<std::string> asNobody(const TempDir& dir, std::vector<std::string> command,
                                  const std::vector<std::string>& programs) {
  if (::geteuid() != 0) {
    return command;
  }
  namespace fs = std::filesystem;
  fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
  const std::string copies = dir / "programs";
  fs::create_directories(copies);
  fs::permissions(copies, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  for (const std::string& program : programs) {
    const std::string copy = copies + "/" + lastComponent(program);
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
    std::replace(command.begin(), command.end(), program, copy);
  }
  command.insert(command.begin(),
                 {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  // A coverage build's counts cannot be written into the build tree by nobody: they go to a
  // folder of the test's, and root collects them once the command has ended.
  if (std::getenv("RAWOUT_COVERAGE_COLLECT") != nullptr) {
    const std::string counts = dir / "coverage";
    fs::create_directories(counts);
    fs::permissions(counts, fs::perms::all);
    command.insert(command.begin() + 4, {"/usr/bin/env", "GCOV_PREFIX=" + counts});
    command.insert(command.begin(),
                   {"/bin/sh", "-c",
                    "\"$@\"; status=$?; mkdir -p \"$RAWOUT_COVERAGE_COLLECT\" && "
                    "cp -R \"$0/.\" \"$(mktemp -d \"$RAWOUT_COVERAGE_COLLECT/nobody-XXXXXX\")\" "
                    "&& exit $status",
                    counts});
  }
  return command;
}
#endif

// The checks a plug-in fails, by name, the exporthost lines that say so, and the details under
// them ("calls" to "#0 ..."), the last failure's alone where several share a name.
struct CheckRun {
  ProcessResult result;
  std::set<std::string> failed;
  std::vector<std::string> lines;
  std::map<std::string, std::string> details{};
};

CheckRun check(const std::vector<std::string>& arguments) {
  std::vector<std::string> command = {"check"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  CheckRun run{exporthost(command), {}, {}};
  std::istringstream lines(run.result.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("  ")) {
      const std::size_t colon = line.find(": ");
      run.details[line.substr(2, colon - 2)] = line.substr(colon + 2);
      continue;
    }
    run.lines.push_back(line);
    if (line.starts_with("FAIL ")) {
      run.failed.insert(line.substr(5, line.find(' ', 5) - 5));
    }
  }
  return run;
}

TEST(ExporthostExport, WritesTheInputBytesBesideItAndSaysWhat) {
  const TempDir dir;
  writeFile(dir / "prog.hex", everyByteValue());
  const ProcessResult result = exporthost({"export", dir / "prog.hex"});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(dir / "prog.bin: 256 bytes written as Binary File\n", result.out);
  EXPECT_TRUE(result.err.empty());
  EXPECT_EQ(everyByteValue(), readFile(dir / "prog.bin"));
  // A format that transforms the bytes: the file's own size too.
  const ProcessResult hex =
      exporthost({"export", "--plugin", testPlugin("format_hex"), dir / "prog.hex", dir / "text"});
  EXPECT_EQ(dir / "text.hex: 256 bytes written as Hex Text, a file of 533 bytes\n", hex.out);
}

TEST(ExporthostExport, TakesBaseNameAndPluginInEitherOrder) {
  const TempDir dir;
  const Bytes bytes = pattern(5000, 21);
  writeFile(dir / "in.dat", bytes);
  EXPECT_EQ(
      0,
      exporthost({"export", dir / "in.dat", dir / "one", "--plugin", RAWOUT_MODULE_PATH}).exitCode);
  EXPECT_EQ(
      0,
      exporthost({"export", "--plugin=" RAWOUT_MODULE_PATH, dir / "in.dat", dir / "two"}).exitCode);
  EXPECT_EQ(0, exporthost({"export", "--", dir / "in.dat", dir / "-three"}).exitCode);
  EXPECT_EQ(bytes, readFile(dir / "one.bin"));
  EXPECT_EQ(bytes, readFile(dir / "two.bin"));
  EXPECT_EQ(bytes, readFile(dir / "-three.bin"));
}

TEST(ExporthostExport, ReadsStandardInputFromAPipeOrAFile) {
  const TempDir dir;
  const Bytes bytes = pattern((5U << 20) + 11, 22);  // grows the buffer more than once
  const std::string text(bytes.begin(), bytes.end());
  const ProcessResult piped = exporthost({"export", "-", dir / "piped"}, Stdin::piped(text));
  ASSERT_EQ(0, piped.exitCode) << piped.err;
  EXPECT_EQ(bytes, readFile(dir / "piped.bin"));

  const ProcessResult redirected =
      exporthost({"export", "-", dir / "redirected"}, Stdin::redirected(text));
  ASSERT_EQ(0, redirected.exitCode) << redirected.err;
  EXPECT_EQ(bytes, readFile(dir / "redirected.bin"));

  const ProcessResult empty = exporthost({"export", "-", dir / "empty"}, Stdin::piped(""));
  ASSERT_EQ(0, empty.exitCode) << empty.err;
  EXPECT_TRUE(readFile(dir / "empty.bin").empty());
  EXPECT_EQ(kUsage, exporthost({"export", "-"}).exitCode);
}

#ifndef _WIN32
// The kernel reports these files' size as 0 (/proc) or as a page that cannot be mapped (sysfs).
TEST(ExporthostExport, ReadsKernelFilesToTheirEnd) {
  const TempDir dir;
  for (const std::string kernelFile : {"/proc/version", "/sys/devices/system/cpu/online"}) {
    const ProcessResult result = exporthost({"export", kernelFile, dir / "kernel"});
    EXPECT_EQ(0, result.exitCode) << kernelFile << ": " << result.err;
    const Bytes exported = readFile(dir / "kernel.bin");
    EXPECT_FALSE(exported.empty()) << kernelFile;
    EXPECT_EQ(readFile(kernelFile), exported) << kernelFile;
  }
}
#endif

#ifndef _WIN32
// Standard input read part-way already: the rest is the input, from the offset on.
TEST(ExporthostExport, StandardInputReadPartWayGivesTheRest) {
  const TempDir dir;
  const Bytes bytes = pattern(10000, 24);
  writeFile(dir / "in.prg", bytes);
  const ProcessResult result = runProcess(
      {"/bin/sh", "-c", "dd bs=100 count=1 of=/dev/null 2>/dev/null; exec \"$0\" export - \"$1\"",
       EXPORTHOST_PATH, dir / "rest"},
      Stdin::fromFile(dir / "in.prg"));
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(Bytes(bytes.begin() + 100, bytes.end()), readFile(dir / "rest.bin"));
}

// A file cut short while it is exported: an error and exit 1, never a signal death or a cause
// that misleads. The plug-in either reads the block itself or hands it to write() (rawout into a
// FIFO whose reader empties the input part-way).
TEST(ExporthostExport, InputCutShortWhileExportedIsAnError) {
  const TempDir dir;
  const std::string changed =
      "exporthost: " + (dir / "in.prg") +
      ": changed while it was being exported; export it again once nothing writes to it\n";
  writeFile(dir / "in.prg", pattern(1 << 20, 25));
  {
    ScopedEnvironment environment;
    environment.set("TEST_PLUGIN_SHRINK", dir / "in.prg");
    const ProcessResult reads = exporthost(
        {"export", "--plugin", testPlugin("shrinks_input"), dir / "in.prg", dir / "out"});
    EXPECT_EQ(kFailure, reads.exitCode) << reads.err;
    EXPECT_EQ(changed, reads.err);
  }
  writeFile(dir / "in.prg", pattern(1 << 20, 25));
  ASSERT_EQ(0, ::mkfifo((dir / "fifo.bin").c_str(), 0600));
  const ProcessResult written = runProcess(
      {"/bin/sh", "-c",
       "\"$0\" export \"$1\" \"$2\" & { head -c 4096 >/dev/null; : >\"$1\"; cat >/dev/null; } "
       "<\"$2.bin\"; wait $!",
       EXPORTHOST_PATH, dir / "in.prg", dir / "fifo"});
  EXPECT_EQ(kFailure, written.exitCode) << written.err;
  EXPECT_EQ(changed, written.err);
}
#endif

TEST(ExporthostExport, EmptyInputGivesAnEmptyFile) {
  const TempDir dir;
  writeFile(dir / "empty.prg", {});
  const ProcessResult result = exporthost({"export", dir / "empty.prg"});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(dir / "empty.bin: 0 bytes written as Binary File\n", result.out);
  EXPECT_TRUE(readFile(dir / "empty.bin").empty());

  writeFile(dir / "one.prg", {42});
  EXPECT_EQ(dir / "one.bin: 1 byte written as Binary File\n",
            exporthost({"export", dir / "one.prg"}).out);
}

// The file written and the line that says so, for names a user may give.
TEST(ExporthostExport, DerivesAndQuotesTheNameWritten) {
  const TempDir dir;
  std::filesystem::create_directory(dir / "a.d");
  struct Case {
    std::string input;
    std::vector<std::string> baseName;  // none: derived from the input
    std::string written;
    std::string line;
  };
  const std::vector<Case> cases = {
      {dir / "a.d/prog", {}, dir / "a.d/prog.bin", dir / "a.d/prog.bin"},
      {dir / "a.d/prog.hex", {}, dir / "a.d/prog.bin", dir / "a.d/prog.bin"},
      {dir / ".hidden", {}, dir / ".hidden.bin", dir / ".hidden.bin"},
#ifndef _WIN32
      {dir / "in.com",
       {dir / "new\nline"},
       dir / "new\nline.bin",
       "'" + dir / "new'$'\\n''line.bin'"},
#endif
      {dir / "in.com", {dir / "two words"}, dir / "two words.bin", "'" + dir / "two words.bin'"},
#ifndef _WIN32
      {dir / "in.com", {dir / "del\x7f"}, dir / "del\x7f.bin", "'" + dir / "del'$'\\177''.bin'"},
      // A C1 control (CSI) in UTF-8, and an accented letter whose second byte looks like one.
      {dir / "in.com",
       {dir / "csi\xc2\x9b\xc4\x9b"},
       dir / "csi\xc2\x9b\xc4\x9b.bin",
       "'" + dir / "csi'$'\\302\\233''\xc4\x9b.bin'"},
      // The same control alone, as 8-bit text holds it.
      {dir / "in.com", {dir / "csi\x9b"}, dir / "csi\x9b.bin", "'" + dir / "csi'$'\\233''.bin'"},
#endif
  };
  for (const Case& row : cases) {
    writeFile(row.input, {1, 2});
    std::vector<std::string> arguments = {"export", row.input};
    arguments.insert(arguments.end(), row.baseName.begin(), row.baseName.end());
    const ProcessResult result = exporthost(arguments);
    EXPECT_EQ(0, result.exitCode) << row.input << ": " << result.err;
    EXPECT_EQ(row.line + ": 2 bytes written as Binary File\n", result.out);
    EXPECT_EQ((Bytes{1, 2}), readFile(row.written)) << row.written;
    std::filesystem::remove(row.written);
  }
}

// An export is refused only when its output is the input. The extension is learnt from a trial
// save of a non-empty block, and when it cannot be learnt the error says why.
TEST(ExporthostExport, RefusesOnlyWhatWouldOverwriteTheInput) {
  const TempDir dir;
  writeFile(dir / "in.com", {7, 8, 9});
  writeFile(dir / "file", {});
  struct Case {
    std::optional<std::string> tmpdir;  // none: as it is
    std::string plugin;
    int exitCode;
    std::string written;  // or the error's end
  };
  const std::vector<Case> cases = {
      {std::nullopt, testPlugin("refuses_empty"), 0, dir / "in.raw"},
#ifndef _WIN32
      {"", RAWOUT_MODULE_PATH, 0, dir / "in.bin"},
      {"/nonexistent", RAWOUT_MODULE_PATH, kFailure,
       ": cannot load it: cannot make a scratch folder in /nonexistent: No such file or "
       "directory\n"},
      {dir / "file", RAWOUT_MODULE_PATH, kFailure,
       ": cannot make a scratch folder in " + (dir / "file") + ": Not a directory\n"},
#endif
  };
  for (const Case& row : cases) {
    // Set for exporthost alone: the test's own files go in the usual place.
    const ProcessResult result =
        row.tmpdir ? runProcess({"/usr/bin/env", "TMPDIR=" + *row.tmpdir, EXPORTHOST_PATH, "export",
                                 "--plugin", row.plugin, dir / "in.com"})
                   : exporthost({"export", "--plugin", row.plugin, dir / "in.com"});
    EXPECT_EQ(row.exitCode, result.exitCode) << row.written << ": " << result.err;
    if (row.exitCode == 0) {
      EXPECT_EQ((Bytes{7, 8, 9}), readFile(row.written));
      std::filesystem::remove(row.written);
    } else {
      EXPECT_TRUE(result.err.ends_with(row.written)) << result.err;
      EXPECT_FALSE(exists(dir / "in.bin"));
    }
  }
}

// A plug-in that writes past the five bytes is stopped at the first byte too many, whatever the
// length of what it writes; one that leaves no terminator is caught too. Both name the plug-in.
TEST(ExporthostExport, ExtensionPastTheHostsBufferIsAnErrorNamingThePlugin) {
  const TempDir dir;
  writeFile(dir / "in.com", {1});
  for (const auto& [variant, problem] : std::vector<std::pair<std::string, std::string>>{
           {"long_extension", "wrote past the 5-byte extension buffer"},
           {"no_terminator", "its extension does not end within the 5-byte extension buffer"}}) {
    const ProcessResult result =
        exporthost({"export", "--plugin", testPlugin(variant), dir / "in.com"});
    EXPECT_EQ(kFailure, result.exitCode) << variant;
    EXPECT_EQ(0U, result.err.rfind("exporthost: " + testPlugin(variant) + ": " + problem, 0))
        << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
  }
}

TEST(ExporthostExport, NeverOverwritesItsOwnInput) {
  const TempDir dir;
  const Bytes bytes = pattern(4096, 23);
  writeFile(dir / "prog.bin", bytes);
  const ProcessResult named = exporthost({"export", dir / "prog.bin"});
  EXPECT_EQ(kFailure, named.exitCode);
  EXPECT_NE(std::string::npos, named.err.find(dir / "prog.bin")) << named.err;
  const ProcessResult redirected =
      exporthost({"export", "-", dir / "prog"}, Stdin::fromFile(dir / "prog.bin"));
  EXPECT_EQ(kFailure, redirected.exitCode);
#ifndef _WIN32
  // Read to its end already, the redirected file is still the input.
  const ProcessResult atEnd =
      runProcess({"/bin/sh", "-c", "cat >/dev/null; exec \"$0\" export - \"$1\"", EXPORTHOST_PATH,
                  dir / "prog"},
                 Stdin::fromFile(dir / "prog.bin"));
  EXPECT_EQ(kFailure, atEnd.exitCode);
#endif
  EXPECT_EQ(bytes, readFile(dir / "prog.bin"));

  // Another plug-in's extension is guarded, and rawout's is not assumed for it.
  writeFile(dir / "prog.raw", bytes);
  const ProcessResult raw = exporthost({"export", "--plugin", RAW_PLUGIN_PATH, dir / "prog.raw"});
  EXPECT_EQ(kFailure, raw.exitCode);
  EXPECT_EQ("exporthost: " + (dir / "prog.raw") + ": is the input file; give another BASENAME\n",
            raw.err);
  EXPECT_EQ(bytes, readFile(dir / "prog.raw"));
  const ProcessResult other = exporthost({"export", "--plugin", RAW_PLUGIN_PATH, dir / "prog.bin"});
  EXPECT_EQ(0, other.exitCode) << other.err;
  EXPECT_EQ(bytes, readFile(dir / "prog.raw"));
}

// Whatever the plug-in does during the save, the input survives and success means the file is in
// place: it saves in a private folder beside the output, and exporthost moves its file.
TEST(ExporthostExport, NoPluginCanDestroyTheInputOrFakeASuccess) {
  const TempDir dir;
  const Bytes bytes = pattern(300, 29);
  writeFile(dir / "prog.prg", bytes);
  struct Case {
    std::string misbehave;
    std::string error;  // the end of the message
    std::string when = "prog";
    std::string baseName{};  // the input's own, unless given
  };
  const std::string relative = std::filesystem::relative(dir / "prog").string();
  const std::vector<Case> cases = {
      // ".raw" for the trial's small block, ".prg" (the input's own name) for the real one; the
      // same file however the base name spells it.
      {"extbysize", (dir / "prog.prg") + ": is the input file; give another BASENAME\n"},
      {"extbysize", relative + ".prg: is the input file; give another BASENAME\n", "prog",
       relative},
      {"extbysize", dir.path() + "/./prog.prg: is the input file; give another BASENAME\n", "prog",
       dir.path() + "/./prog"},
#ifndef _WIN32
      {"extbysize",
       "/proc/self/root" + (dir / "prog.prg") + ": is the input file; give another BASENAME\n",
       "prog", "/proc/self/root" + (dir / "prog")},
#endif
      {"exit3", ": ended the process during the save (exit status 3); nothing was exported\n"},
      {"writedata", ": wrote into the input at byte 0, which the host hands over read-only\n"},
      {"writelast", ": wrote into the input at byte 299, which the host hands over read-only\n"},
      {"writepast", ": wrote past the end of the input (300 bytes), at byte 300\n"},
      {"writename", ": wrote into the base name at byte 0, which the host hands over read-only\n"},
#ifdef _WIN32
      {"refuse", "/trial gave result 0 (Access denied), expected 1\n", "trial"},
#else
      {"refuse", "/trial gave result 0 (Permission denied), expected 1\n", "trial"},
#endif
#ifdef _WIN32
      {"exitprocess",
       ": ended the process during the save (exit status 4); nothing was exported\n"},
      {"unloadfault",
       ": it faulted as it was unloaded (exception 0xC0000005), which the system's loader hid; "
       "nothing was exported\n"},
      // In every process that loads it, exporthost's own too.
      {"unloadhang",
       ": saved, but did not unload within 5 s (a DllMain or a destructor that hangs as the DLL "
       "detaches); nothing was exported\n"},
      {"segv",
       ": ended the process during the save (exception 0xC0000005); nothing was exported\n"},
#else
      {"exit0", ": ended the process during the save (exit status 0); nothing was exported\n"},
      {"segv", ": ended the process during the save (killed by SIGSEGV); nothing was exported\n"},
      {"unloadfault",
       ": saved, but ended the process as it was unloaded (killed by SIGSEGV); nothing was "
       "exported\n"},
      {"unloadhang",
       ": saved, but did not unload within 5 s (a destructor that hangs as the module goes); "
       "nothing was exported\n"},
#endif
  };
  for (const Case& row : cases) {
    ScopedEnvironment environment;
    letCrashesCrash(environment);
    environment.set("TEST_PLUGIN_MISBEHAVE", row.misbehave);
    environment.set("TEST_PLUGIN_WHEN", row.when);
    std::vector<std::string> command = {"export", "--plugin", testPlugin("misbehaves"),
                                        dir / "prog.prg"};
    if (!row.baseName.empty()) {
      command.push_back(row.baseName);
    }
    const ProcessResult result = exporthost(command);
    EXPECT_EQ(kFailure, result.exitCode) << row.misbehave;
    EXPECT_TRUE(result.err.ends_with(row.error)) << row.misbehave << ": " << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_EQ(bytes, readFile(dir / "prog.prg")) << row.misbehave;
    EXPECT_EQ((std::set<std::string>{"prog.prg"}), folderEntries(dir.path())) << row.misbehave;
  }
}

// What the plug-in makes of its own as it loads (a file in the working folder) or saves (a
// temporary file) goes with the export's folders: the user's folder and the temporary folder are
// left as they were.
TEST(ExporthostExport, LeavesNoFileOfThePluginsOwn) {
  const TempDir dir;
  const TempDir temporary;
  writeFile(dir / "prog.prg", pattern(300, 31));
  for (const std::string misbehave : {"load-stray", "tempfile"}) {
    ScopedEnvironment environment;
    environment.set("TEST_PLUGIN_MISBEHAVE", misbehave);
    environment.set("TEST_PLUGIN_WHEN", "prog");
#ifdef _WIN32
    environment.set("TMP", temporary.path());
    environment.set("TEMP", temporary.path());
#else
    environment.set("TMPDIR", temporary.path());
#endif
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const ProcessResult result =
        exporthost({"export", "--plugin", testPlugin("misbehaves"), "prog.prg"});
    std::filesystem::current_path(previous);
    EXPECT_EQ(0, result.exitCode) << misbehave << ": " << result.err;
    EXPECT_EQ((std::set<std::string>{"prog.prg", "prog.raw"}), folderEntries(dir.path()))
        << misbehave;
    EXPECT_EQ(std::set<std::string>{}, folderEntries(temporary.path())) << misbehave;
    std::filesystem::remove(dir / "prog.raw");
  }
}

#ifndef _WIN32
// An output replaced as binutils replaces one: a plain file keeps its mode, a link stays a link
// and its target gets the bytes, a file with two names keeps both; a folder that takes no new
// file still lets an existing output be written; a failed save leaves the old output whole.
TEST(ExporthostExport, ReplacesAnOutputKeepingWhatItIs) {
  const TempDir dir;
  const Bytes bytes = pattern(1000, 31);
  const Bytes old = {1, 2, 3};
  // Longer than what replaces it: none of its tail may be left.
  const Bytes longer = pattern(5000, 33);
  writeFile(dir / "in.prg", bytes);
  writeFile(dir / "plain.bin", old);
  ASSERT_EQ(0, ::chmod((dir / "plain.bin").c_str(), 0640));
  writeFile(dir / "target", longer);
  ASSERT_EQ(0, ::symlink("target", (dir / "link.bin").c_str()));
  writeFile(dir / "twice.bin", longer);
  ASSERT_EQ(0, ::link((dir / "twice.bin").c_str(), (dir / "second").c_str()));
  for (const std::string name : {"plain", "link", "twice"}) {
    const ProcessResult result = exporthost({"export", dir / "in.prg", dir / name});
    EXPECT_EQ(0, result.exitCode) << name << ": " << result.err;
  }
  struct stat plain {};
  ASSERT_EQ(0, ::stat((dir / "plain.bin").c_str(), &plain));
  EXPECT_EQ(0640U, plain.st_mode & 07777);
  EXPECT_EQ(bytes, readFile(dir / "plain.bin"));
  struct stat link {};
  ASSERT_EQ(0, ::lstat((dir / "link.bin").c_str(), &link));
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  EXPECT_EQ(bytes, readFile(dir / "target"));
  EXPECT_EQ(bytes, readFile(dir / "second"));
  // An empty program empties each kind, the file with two names by the same path.
  writeFile(dir / "nothing.prg", {});
  for (const std::string name : {"plain", "link", "twice"}) {
    const ProcessResult result = exporthost({"export", dir / "nothing.prg", dir / name});
    EXPECT_EQ(0, result.exitCode) << name << ": " << result.err;
  }
  for (const std::string name : {"plain.bin", "target", "second"}) {
    EXPECT_EQ(Bytes(), readFile(dir / name)) << name;
  }
  ASSERT_EQ(0, ::lstat((dir / "link.bin").c_str(), &link));
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  struct stat second {};
  ASSERT_EQ(0, ::stat((dir / "second").c_str(), &second));
  EXPECT_EQ(2U, second.st_nlink);

  // A save that fails leaves the old output as it was.
  writeFile(dir / "empty.prg", {});
  writeFile(dir / "empty.raw", old);
  EXPECT_EQ(
      kFailure,
      exporthost({"export", "--plugin", testPlugin("refuses_empty"), dir / "empty.prg"}).exitCode);
  EXPECT_EQ(old, readFile(dir / "empty.raw"));
}

// In a folder that takes no new file the output's bytes go into the existing file, and a new
// one is refused; an output its user may not write is refused as cp refuses it, though the
// folder would let a rename replace it. Root ignores a folder's mode, so this runs as nobody.
TEST(ExporthostExport, WritesOnlyWhatItsUserMayWrite) {
  const TempDir dir;
  const Bytes bytes = pattern(1000, 31);
  const Bytes old = {1, 2, 3};
  const Bytes longer = pattern(5000, 33);
  const std::string locked = dir / "locked";
  std::filesystem::create_directory(locked);
  writeFile(locked + "/in.prg", bytes);
  writeFile(locked + "/out.bin", longer);
  ASSERT_EQ(0, ::chmod((locked + "/out.bin").c_str(), 0666));
  ASSERT_EQ(0, ::chmod(locked.c_str(), 0555));
  ASSERT_EQ(0, ::chmod(dir.path().c_str(), 0711));
  std::vector<std::string> command =
      asNobody(dir, {EXPORTHOST_PATH, "export", locked + "/in.prg", locked + "/out"},
               {EXPORTHOST_PATH, RAWOUT_MODULE_PATH});
  EXPECT_EQ(0, runProcess(command).exitCode);
  EXPECT_EQ(bytes, readFile(locked + "/out.bin"));
  command.back() = locked + "/new";
  const ProcessResult refused = runProcess(command);
  EXPECT_EQ(kFailure, refused.exitCode);
  EXPECT_TRUE(refused.err.ends_with(": Permission denied\n")) << refused.err;
  ASSERT_EQ(0, ::chmod(locked.c_str(), 0755));
  EXPECT_EQ((std::set<std::string>{"in.prg", "out.bin"}), folderEntries(locked));

  const std::string open = dir / "open";
  std::filesystem::create_directory(open);
  ASSERT_EQ(0, ::chmod(open.c_str(), 0777));
  writeFile(open + "/in.prg", bytes);
  writeFile(open + "/kept.bin", old);
  ASSERT_EQ(0, ::chmod((open + "/kept.bin").c_str(), 0444));
  const ProcessResult readOnly = runProcess(asNobody(
      dir, {EXPORTHOST_PATH, "export", open + "/in.prg", open + "/kept"}, {EXPORTHOST_PATH}));
  EXPECT_EQ(kFailure, readOnly.exitCode);
  EXPECT_TRUE(
      readOnly.err.ends_with("/kept.bin: cannot export as Binary File: Permission denied\n"))
      << readOnly.err;
  EXPECT_EQ(old, readFile(open + "/kept.bin"));
  EXPECT_EQ((std::set<std::string>{"in.prg", "kept.bin"}), folderEntries(open));
}

// An export that finds no room leaves an existing output byte for byte as it was, when it is
// written through a link (its target replaced beside it) and when it is written into (a file
// with two names). A small file system of its own, in a mount namespace of the test's.
TEST(ExporthostExport, NoRoomLeavesAnExistingOutputWhole) {
  if (::geteuid() != 0) {
    if (inCi()) {
      FAIL() << "a file system of its own needs root";
    }
    GTEST_SKIP() << "a file system of its own needs root";
  }
  const TempDir dir;
  writeFile(dir / "old", pattern(20000, 35));
  writeFile(dir / "in.prg", pattern(100000, 36));
  std::filesystem::create_directory(dir / "small");
  const std::string script = R"(
    set -u
    exporthost=$0 dir=$1
    mount -t tmpfs -o size=256k tmpfs "$dir/small" || exit 99
    cp "$dir/old" "$dir/small/target.bin"
    cp "$dir/old" "$dir/small/twice.bin"
    ln "$dir/small/twice.bin" "$dir/small/second"
    head -c 1M /dev/zero >"$dir/small/fill" 2>/dev/null
    ln -s small/target.bin "$dir/link.bin"
    ln -s small/twice.bin "$dir/twice.bin"
    for name in link twice; do
      "$exporthost" export "$dir/in.prg" "$dir/$name"
      echo "$name: $?"
    done
    cmp "$dir/old" "$dir/small/target.bin" && cmp "$dir/old" "$dir/small/second" && ls "$dir/small"
    rm "$dir/small/fill"
    "$exporthost" export "$dir/in.prg" "$dir/link" >/dev/null && cmp "$dir/in.prg" "$dir/small/target.bin" &&
      test -L "$dir/link.bin" && ls "$dir/small")";
  const ProcessResult result =
      runProcess({"unshare", "--mount", "/bin/sh", "-c", script, EXPORTHOST_PATH, dir.path()});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(
      "link: 1\ntwice: 1\nfill\nsecond\ntarget.bin\ntwice.bin\nsecond\ntarget.bin\ntwice.bin\n",
      result.out);
  for (const std::string name : {"link", "twice"}) {
    EXPECT_NE(
        std::string::npos,
        result.err.find(name + ".bin: cannot export as Binary File: No space left on device\n"))
        << result.err;
  }
}
#endif

TEST(ExporthostExport, RefusesInputTooLargeForTheBoundaryBeforeWritingAnything) {
  const TempDir dir;
  writeFile(dir / "huge.img", {});
  std::filesystem::resize_file(dir / "huge.img", std::uintmax_t{1} << 32);  // sparse: no space
  const ProcessResult result = exporthost({"export", dir / "huge.img"});
  EXPECT_EQ(kFailure, result.exitCode);
  EXPECT_NE(std::string::npos, result.err.find("too large")) << result.err;
  EXPECT_FALSE(exists(dir / "huge.bin"));
}

TEST(ExporthostExport, FailuresNameTheFileConcerned) {
  const TempDir dir;
  const ProcessResult missing = exporthost({"export", dir / "absent.prg"});
  EXPECT_EQ(kFailure, missing.exitCode);
  EXPECT_EQ("exporthost: " + (dir / "absent.prg") + ": cannot open: No such file or directory\n",
            missing.err);
  EXPECT_FALSE(exists(dir / "absent.bin"));

  writeFile(dir / "prog.prg", {1, 2, 3});
  const ProcessResult unwritable = exporthost({"export", dir / "prog.prg", dir / "no/such/out"});
  EXPECT_EQ(kFailure, unwritable.exitCode);
  // The cause in the system's words: errno's on POSIX, the last-error code's on Windows.
  const std::string prefix =
      "exporthost: " + (dir / "no/such/out.bin") + ": cannot export as Binary File: ";
  EXPECT_EQ(0U, unwritable.err.rfind(prefix, 0)) << unwritable.err;
  // The folder that is not there is named as such.
  EXPECT_EQ(0U, unwritable.err.rfind(prefix + "there is no folder " + (dir / "no/such") + " (", 0))
      << unwritable.err;
#ifndef _WIN32
  EXPECT_EQ(prefix + "there is no folder " + (dir / "no/such") + " (No such file or directory)\n",
            unwritable.err);
#endif
  EXPECT_GT(unwritable.err.size(), prefix.size() + 1) << unwritable.err;
#ifndef _WIN32
  // Quoted as coreutils quotes: the name cannot be misread or garble the terminal.
  const ProcessResult odd = exporthost({"export", dir / "it's\nodd\a\b\v\f\rx"});
  EXPECT_EQ("exporthost: '" + (dir / "it'\\''s'$'\\n''odd'$'\\a\\b\\v\\f\\r''x': cannot open: No "
                                     "such file or directory\n"),
            odd.err);
#endif
  EXPECT_TRUE(unwritable.out.empty());

  // A plug-in that is no module, loaded away from the working folder, is named as given.
  const ProcessResult notAModule =
      exporthost({"export", "--plugin", dir / "prog.prg", dir / "prog.prg", dir / "out"});
  EXPECT_EQ(kFailure, notAModule.exitCode);
  EXPECT_EQ(0U, notAModule.err.rfind("exporthost: " + (dir / "prog.prg") + ": cannot load: ", 0))
      << notAModule.err;

  // A plug-in that gives 0 and leaves no cause gets none: nothing stale is appended.
  writeFile(dir / "empty.prg", {});
  const ProcessResult refused =
      exporthost({"export", "--plugin", testPlugin("refuses_empty"), dir / "empty.prg"});
  EXPECT_EQ(kFailure, refused.exitCode);
  EXPECT_EQ("exporthost: " + (dir / "empty.raw") + ": cannot export as Raw Test File\n",
            refused.err);
}

TEST(ExporthostLoading, NamesThePathOrTheMissingEntryPoint) {
  const TempDir dir;
  writeFile(dir / "prog.prg", {1});
  // A plug-in that is not there is worded as check words it, by every command.
  for (const std::string command : {"export", "formats", "about"}) {
    const ProcessResult absent =
        command == "export"
            ? exporthost({"export", "--plugin", dir / "nowhere.so", dir / "prog.prg"})
            : exporthost({command, "--plugin", dir / "nowhere.so"});
    EXPECT_EQ(kFailure, absent.exitCode);
    EXPECT_EQ("exporthost: " + (dir / "nowhere.so") + ": no such file\n", absent.err);
  }

#ifndef _WIN32
  // A plug-in named without a folder is the file of that name here, even when a system library
  // has the same name.
  std::filesystem::copy_file(RAWOUT_MODULE_PATH, dir / "libm.so.6");
  const ProcessResult here =
      runProcess({"/bin/sh", "-c", "cd \"$1\" && exec \"$0\" formats --plugin libm.so.6",
                  EXPORTHOST_PATH, dir.path()});
  EXPECT_EQ(0, here.exitCode) << here.err;
  EXPECT_EQ("Binary File\n", here.out);
#endif

#ifndef _WIN32
  // A FIFO or a folder is refused at once: the loader would wait on a FIFO for ever.
  ASSERT_EQ(0, ::mkfifo((dir / "fifo.so").c_str(), 0600));
  for (const std::string& notAFile : {dir / "fifo.so", dir.path()}) {
    const ProcessResult refused = exporthost({"formats", "--plugin", notAFile});
    EXPECT_EQ(kFailure, refused.exitCode) << notAFile;
    EXPECT_NE(std::string::npos, refused.err.find(": cannot load: it is ")) << refused.err;
  }
  const CheckRun fifo = check({"--only", "entry-points,description", "--plugin", dir / "fifo.so"});
  EXPECT_EQ((std::set<std::string>{"entry-points"}), fifo.failed) << fifo.result.out;
#endif

  const ProcessResult incomplete = exporthost({"formats", "--plugin", INCOMPLETE_PLUGIN_PATH});
  EXPECT_EQ(kFailure, incomplete.exitCode);
  EXPECT_NE(std::string::npos, incomplete.err.find(INCOMPLETE_PLUGIN_PATH)) << incomplete.err;
  EXPECT_NE(std::string::npos, incomplete.err.find("'About'")) << incomplete.err;
  EXPECT_FALSE(exists(dir / "prog.bin"));
}

// The headers of a module of `format` ("elf" or "pe") and `bits`, for x86: enough for a loader to
// refuse it, and for exporthost to say what it is.
Bytes fakeModule(const std::string& format, unsigned bits) {
  Bytes bytes(512);
  const auto put = [&bytes](std::size_t at, std::uint32_t value, std::size_t width) {
    for (std::size_t index = 0; index < width; ++index) {
      bytes[at + index] = static_cast<unsigned char>(value >> (8 * index));
    }
  };
  if (format == "elf") {
    put(0, 0x464C457F, 4);
    put(4, bits == 64 ? 2 : 1, 1);
    put(5, 1, 1);
    put(6, 1, 1);
    put(16, 3, 2);                    // a shared object
    put(18, bits == 64 ? 62 : 3, 2);  // x86-64 or i386
    return bytes;
  }
  put(0, 0x5A4D, 2);
  put(0x3C, 0x40, 4);
  put(0x40, 0x4550, 4);
  put(0x44, bits == 64 ? 0x8664 : 0x14C, 2);
  put(0x54, bits == 64 ? 240 : 224, 2);
  put(0x56, 0x2002, 2);  // a DLL
  put(0x58, bits == 64 ? 0x20B : 0x10B, 2);
  return bytes;
}

// A module a host cannot load or call rightly, and what exporthost says of it: through formats
// (the load), or check (`checked`, the calls).
struct Unloadable {
  std::string plugin;  // a test plug-in variant, or a fake module's file name
  std::string said;
  bool checked = false;
};

const std::vector<Unloadable> kUnloadables = {
    {"odd_mangled",
     "it exports SavePrgmFile(void const*, unsigned int, char const*, char*) under the C++ name "
     "'_Z12SavePrgmFilePKvjPKcPc': declare it extern \"C\", as the header does"},
    {"odd_near_miss", "it has no 'SavePrgmFile'; it exports 'SavePrgmfile', a slip away"},
#ifdef _WIN32
    {"odd_needs", "cannot load: it needs libabsent.dll, which is not found where the host looks"},
    {"elf64.so", "a 64-bit ELF module (x86-64), for Linux and its kin: build the plug-in as a DLL"},
#else
    {"odd_needs", "cannot load: it needs libabsent.so, which is not found where the host looks"},
    {"elf32.so",
     "a 32-bit ELF module (i386); this exporthost is 64-bit (x86-64): build the "
     "module as 64-bit"},
    {"pe64.dll", "a 64-bit DLL (x86-64), for Windows: check it with exporthost.exe"},
#endif
#if defined(_WIN32) && defined(__x86_64__)
    {"pe32.dll",
     "a 32-bit DLL (i386); this exporthost.exe is 64-bit (x86-64): run the 32-bit "
     "one, from the 32-bit ZIP"},
#elif defined(_WIN32)
    {"pe64.dll",
     "a 64-bit DLL (x86-64); this exporthost.exe is 32-bit (i386): run the 64-bit "
     "one, from the 64-bit ZIP"},
    {"odd_decorated", "it exports 'SavePrgmFile@16', the name of a stdcall function"},
    {"odd_stdcall",
     "SavePrgmFile took its 16 bytes of arguments off the stack, as a stdcall (WINAPI) function "
     "does",
     true},
#endif
};

TEST(ExporthostLoading, SaysWhyAModuleIsNoPluginAHostCanLoad) {
  const TempDir dir;
  for (const Unloadable& row : kUnloadables) {
    std::string plugin = testPlugin(row.plugin);
    if (const std::size_t dot = row.plugin.find('.'); dot != std::string::npos) {
      plugin = dir / row.plugin;
      writeFile(plugin, fakeModule(row.plugin.substr(0, dot - 2),
                                   std::stoul(row.plugin.substr(dot - 2, 2))));
    }
    const ProcessResult result =
        row.checked ? exporthost({"check", "--only=every-byte-value", "--plugin", plugin})
                    : exporthost({"formats", "--plugin", plugin});
    const std::string said = result.out + result.err;
    EXPECT_EQ(kFailure, result.exitCode) << row.plugin;
    EXPECT_NE(std::string::npos, said.find(row.said)) << said;
    EXPECT_EQ(std::string::npos, said.find("%1")) << said;
    EXPECT_EQ(std::string::npos, said.find("expected the three entry points")) << said;
  }
}

TEST(ExporthostFormats, PrintsEachPluginsDisplayName) {
  EXPECT_EQ("Binary File\n", exporthost({"formats"}).out);
  const ProcessResult two =
      exporthost({"formats", "--plugin", RAWOUT_MODULE_PATH, "--plugin", RAWOUT_MODULE_PATH});
  EXPECT_EQ(0, two.exitCode);
  EXPECT_EQ("Binary File\nBinary File\n", two.out);

  const ProcessResult oneBad =
      exporthost({"formats", "--plugin", "/nonexistent/x.so", "--plugin", RAWOUT_MODULE_PATH});
  EXPECT_EQ(kFailure, oneBad.exitCode);
  EXPECT_EQ("Binary File\n", oneBad.out);

  // A name with a control character cannot drive the terminal.
  EXPECT_EQ("Raw\\x09Test File\n",
            exporthost({"formats", "--plugin", testPlugin("control_description")}).out);
}

#ifndef _WIN32
TEST(ExporthostAbout, WithoutADisplayFailsAndSaysSo) {
  ScopedEnvironment environment;
  environment.unset("DISPLAY");
  environment.unset("WAYLAND_DISPLAY");
  const ProcessResult result = exporthost({"about"});
  EXPECT_EQ(kFailure, result.exitCode);
  EXPECT_NE(std::string::npos, result.err.find(": About gave 0: the plug-in showed no box"))
      << result.err;
}
#endif

// Every check is shown to fail on the fault it is for, and on nothing else; so are the faults
// that end, hang or alter the check's process. rawout passes every check. A row is a test of its
// own, so that rows run side by side.
struct Fault {
  std::string plugin{};  // a test plug-in variant, or a path
  std::string misbehave{};
  std::set<std::string> failing{};
  std::string text{};  // in every FAIL line
  std::string when = "every-byte-value";
  std::string declare = "--expect=identity";  // what the files hold
  std::string name{};   // the row's, where the plug-in and misbehaviour do not tell it apart
  bool strict = false;  // with --strict: a warning fails too
  std::vector<std::string> options{};  // the checks and blocks, in place of the row's usual ones
  // Under the failure: a detail (by the start of its name) and what it holds; and what no line
  // may hold.
  std::vector<std::pair<std::string, std::string>> shown{};
  std::string notShown{};
  bool racy = false;  // it fails by a race: again, the same check fails, in words of its own
};

// The hex test plug-in's format, as a command no one here wrote, and as the test's own filter;
// and a reference that holds a file to the block itself.
#ifdef _WIN32
const std::string kHexReference = std::string(REFERENCE_FILTER_PATH) + " hex";
#else
const std::string kHexReference =
    "basename \"$RAWOUT_BASE_NAME\" && od -An -v -tx1 -w16 | tr -d ' '";
#endif
const std::string kCopyReference = std::string(REFERENCE_FILTER_PATH) + " copy";

void PrintTo(const Fault& fault, std::ostream* out) {
  *out << fault.plugin << " " << fault.misbehave;
}

// The register the test plug-in's "clobber" changes.
#if defined(_WIN32) && defined(__x86_64__)
constexpr char kClobbered[] = "rsi";
#elif defined(_WIN32)
constexpr char kClobbered[] = "ebx";
#else
constexpr char kClobbered[] = "rbx";
#endif

const std::vector<Fault> kFaults = {
    {.plugin = RAWOUT_MODULE_PATH, .strict = true},
    {.plugin = "odd", .strict = true},
// A module's own build: failed, or flagged and failed with --strict.
#ifdef _WIN32
    {.plugin = "odd_nonx",
     .failing = {"module"},
     .text = "it is not marked NX-compatible (link with --nxcompat); it cannot be moved",
     .strict = true},
#else
    {.plugin = "odd_execstack", .failing = {"module"}, .text = "it asks for an executable stack"},
    {.plugin = "odd_textrel", .failing = {"module"}, .text = "it has text relocations"},
    {.plugin = "odd_runpath",
     .failing = {"module"},
     .text = "its run path names /home/author/build/lib, neither system-wide nor relative",
     .strict = true},
#endif
    {.plugin = "misbehaves",
     .misbehave = "clobber",
     .failing = {"every-byte-value"},
     .text = "SavePrgmFile returned with " + std::string(kClobbered) + " changed, a register"},
    {.plugin = "crlf",
     .failing = {"content"},
     .text = " holds 257 bytes, expected 256; the first difference from the bytes handed over at "
             "byte 10: 06 07 08 09 [0D] 0A 0B 0C 0D, expected 06 07 08 09 [0A] 0B 0C 0D 0E"},
    {.plugin = "crlf",
     .failing = {"content"},
     .text = " holds 257 bytes, expected 256; the first difference from what the reference "
             "command wrote at byte 10: ",
     .when = "",
     .declare = "--reference=" + kCopyReference},
    // The view about a difference at the first byte, the last shown whole, and the last byte.
    {.plugin = "misbehaves",
     .misbehave = "flip0",
     .failing = {"content"},
     .text =
         "all.raw differs from the bytes handed over at byte 0: [FF] 01 02 03 04, expected [00] "
         "01 02 03 04",
     .when = "",
     .options = {"--only", "content"}},
    {.plugin = "misbehaves",
     .misbehave = "flip3",
     .failing = {"content"},
     .text = "at byte 3: 00 01 02 [FC] 04 05 06 07, expected 00 01 02 [03] 04 05 06 07",
     .when = "",
     .options = {"--only", "content"}},
    {.plugin = "misbehaves",
     .misbehave = "flip255",
     .failing = {"content"},
     .text = "at byte 255: FB FC FD FE [00] (end), expected FB FC FD FE [FF] (end)",
     .when = "",
     .options = {"--only", "content"}},
    {.plugin = "format_hex", .when = "", .declare = "--reference=" + kHexReference},
    // Text is shown by the line.
    {.plugin = "format_hex",
     .failing = {"content"},
     .text = "all.hex differs from what the reference command wrote at byte 25, line 2: "
             "\"000102030405060708090a0b0c0d0e0f\", expected \"000102030405060708090A0B0C0D0E0F\"",
     .when = "",
     .declare = "--reference=" + std::string(REFERENCE_FILTER_PATH) + " HEX",
     .name = "format_hex_against_another_format"},
    {.plugin = "long_extension",
     .failing = {"extension"},
     .text = ": wrote past the 5-byte extension buffer"},
    {.plugin = "no_terminator", .failing = {"extension"}, .text = "no terminating zero"},
#ifdef _WIN32
    {.plugin = "leaks", .failing = {"process-state"}, .text = "open handles: "},
#else
    {.plugin = "leaks", .failing = {"process-state"}, .text = "open descriptors: "},
#endif
    {.plugin = "chatty",
     .failing = {"quiet"},
     .text = "bytes to standard output, starting \"saved "},
    {.plugin = "refuses_empty", .failing = {"empty-block"}, .text = "result 0"},
    {.plugin = "no_truncate",
     .failing = {"truncates"},
     .text = "shrink.raw holds 10000 bytes, expected 100"},
    {.plugin = "needs_extout", .failing = {"null-extout"}, .text = "result 0"},
    {.plugin = "extension_on_failure",
#ifdef _WIN32
     .failing = {"missing-folder"},  // a write cannot be made to fail part-way there
#else
     .failing = {"missing-folder", "failed-write"},
#endif
     .text = "extension buffer written"},
    {.plugin = "caps_size", .failing = {"content"}, .text = "large.raw holds 1048576 bytes"},
    {.plugin = "not_thread_safe", .failing = {"threads"}, .text = "thread", .racy = true},
    {.plugin = "control_description", .failing = {"description"}, .text = "control byte 0x09"},
    {.plugin = "moving_description", .failing = {"description-address"}, .text = "another address"},
    {.plugin = "changing_description", .failing = {"description-after-saves"}, .text = "changed"},
    {.plugin = "stray", .failing = {"no-stray-files"}, .text = ".tmp"},
    {.plugin = INCOMPLETE_PLUGIN_PATH, .failing = {"entry-points"}, .text = "'About'"},
    {.plugin = "misbehaves",
     .misbehave = "exit3",
     .failing = {"every-byte-value"},
     .text = "the plug-in ended the process (exit status 3)"},
    {.plugin = "misbehaves",
     .misbehave = "hang",
     .failing = {"every-byte-value"},
     .text = "no answer within 5.5 s",
     .shown = {{"thread ", " (test_plugin.cpp:"}}},
    // Where a fault struck, and the calls that led there, with and without debugging information;
    // where a hang was; the smallest block a random round's failure needs.
    {.plugin = "misbehaves",
     .misbehave = "deepsegv",
     .failing = {"large-block"},
     .text = ": a write to 0x8, where nothing is mapped, at misbehaves_plugin" +
             std::string(TEST_PLUGIN_SUFFIX) + "+0x",
     .when = "",
     .options = {"--only", "large-block"},
     .shown = {{"calls", "#0 misbehaves_plugin" + std::string(TEST_PLUGIN_SUFFIX)},
               {"calls", "markTheEnd (test_plugin.cpp:"},
               {"calls", "#1 "},
               {"calls", "walkBlock (test_plugin.cpp:"}}},
    {.plugin = "misbehaves_stripped",
     .misbehave = "deepsegv",
     .failing = {"large-block"},
     .text = ": a write to 0x8, where nothing is mapped, at misbehaves_stripped_plugin",
     .when = "",
     .name = "deepsegv_without_debugging_information",
     .options = {"--only", "large-block"},
     .shown = {{"calls", " SavePrgmFile+0x"}},
     .notShown = "test_plugin.cpp"},
    {.plugin = "misbehaves",
     .misbehave = "spin",
     .failing = {"large-block"},
     .text = "no answer within 5.5 s",
     .when = "",
     .options = {"--timeout", "5.5", "--only", "large-block"},
     .shown = {{"thread ", "spinOver (test_plugin.cpp:"}, {"thread ", "walkBlock"}}},
    {.plugin = "misbehaves",
     .misbehave = "deadpair",
     .failing = {"content"},
     .text = "differs from the bytes handed over at byte ",
     .when = "",
     .options = {"--only", "content", "--seed", "3", "--repeat", "3"},
     .shown = {{"smallest", "3 bytes: 00 de ad, found in "},
               {"smallest", " fails the same way: random-1-2-smaller.raw differs "}}},
    // Against a reference, each smaller block is held to what the command makes of it.
    {.plugin = "misbehaves",
     .misbehave = "deadpair",
     .failing = {"content"},
     .text = "differs from what the reference command wrote at byte ",
     .when = "",
     .declare = "--reference=" + kCopyReference,
     .options = {"--only", "content", "--seed", "3", "--repeat", "3"},
     .shown = {{"smallest", "3 bytes: 00 de ad, found in "}}},
    // A fault as the module is unloaded, which Windows' loader hides.
    {.plugin = "misbehaves",
     .misbehave = "unloadfault",
     .failing = {"every-byte-value"},
#ifdef _WIN32
     .text = "it faulted as it was unloaded (exception 0xC0000005), which the system's loader hid",
     .shown = {{"fault", "onUnload (test_plugin.cpp:"}}},
#else
     .text = "the plug-in ended the process (killed by SIGSEGV): segmentation fault (SIGSEGV): a "
             "write to 0x10",
     .shown = {{"calls", "onUnload (test_plugin.cpp:"}, {"calls", "dlclose"}}},
#endif
    // A smallest block of 16 bytes is shown whole.
    {.plugin = "misbehaves",
     .misbehave = "evenpair",
     .failing = {"content"},
     .text = "differs from the bytes handed over at byte ",
     .when = "random",
     .options = {"--only", "content", "--seed", "3", "--repeat", "3"},
     .shown = {{"smallest", "16 bytes: 00 00 00 00 00 00 00 00 00 00 00 00 00 de ad 00, found "}}},
    // A block slow to save is shrunk for half the check's time, and the check answers.
    {.plugin = "misbehaves",
     .misbehave = "slowpair",
     .failing = {"content"},
     .text = "differs from the bytes handed over at byte ",
     .when = "",
     .options = {"--only", "content", "--seed", "3", "--repeat", "3", "--timeout", "10"},
     .shown = {{"smallest", " saves (the check's time allowed no more) and left as "}}},
    {.plugin = "misbehaves",
     .misbehave = "fpu",
     .failing = {"process-state"},
     .text = "floating-point ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "locale",
     .failing = {"process-state"},
     .text = "locale ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "thread",
     .failing = {"process-state"},
     .text = "threads ",
     .when = "process-state",
     // On Windows the handles the threads hold vary with how far each has got.
     .racy = kWindows},
    // A thread left running is named by whichever check it was left in.
    {.plugin = "misbehaves",
     .misbehave = "thread",
     .failing = {"every-byte-value"},
     .text = " thread(s) running after the calls returned, expected none",
     .when = "every-byte-value",
     .name = "thread_in_every_byte_value"},
    {.plugin = "misbehaves",
     .misbehave = "thread",
     .failing = {"names"},
     .text = " thread(s) running after the calls returned, expected none",
     .when = "names",
     .name = "thread_in_names"},
    {.plugin = "misbehaves",
     .misbehave = "thread",
     .failing = {"empty-block"},
     .text = " thread(s) running after the calls returned, expected none",
     .when = "empty-block",
     .name = "thread_in_empty_block"},
    {.plugin = "misbehaves",
     .misbehave = "thread",
     .failing = {"threads"},
     .text = " thread(s) running after the calls returned, expected none",
     .when = "threads",
     .name = "thread_in_threads"},
    {.plugin = "misbehaves",
     .misbehave = "thread",
     .failing = {"missing-folder"},
     .text = " thread(s) running after the calls returned, expected none",
     .when = "missing-folder",
     .name = "thread_in_missing_folder"},
#ifdef _WIN32
    {.plugin = "misbehaves",
     .misbehave = "segv",
     .failing = {"every-byte-value"},
     .text = "(exception 0xC0000005)"},
    {.plugin = "misbehaves",
     .misbehave = "exitprocess",
     .failing = {"every-byte-value"},
     .text = "(exit status 4)"},
    {.plugin = "misbehaves",
     .misbehave = "handle",
     .failing = {"process-state"},
     .text = "open handles: ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "textmode",
     .failing = {"process-state"},
     .text = "descriptor 2 translation mode 0x8000, expected ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "priority",
     .failing = {"process-state"},
     .text = "priority class ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "threadpriority",
     .failing = {"process-state"},
     .text = "thread priority -2, expected 0",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "affinity",
     .failing = {"process-state"},
     .text = "affinity ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "dlldirectory",
     .failing = {"process-state"},
     .text = "DLL directory C:\\, expected none",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "crtexit",
     .failing = {"every-byte-value"},
     .text = ", in what was the plug-in's image until it was unloaded: something called or read it "
             "after the unload, at 0x",
     .name = "crtexit"},
    // A timer's callback runs on a thread of the system's pool, left running.
    {.plugin = "misbehaves",
     .misbehave = "timer",
     .failing = {"every-byte-value"},
     .text = "left 1 thread(s) running after the calls returned, expected none"},
    {.plugin = "misbehaves",
     .misbehave = "veh",
     .failing = {"every-byte-value"},
     .text = "once it was unloaded, a vectored exception handler (AddVectoredExceptionHandler), at "
             "an exception the process handled, still called into it, expected nothing"},
    {.plugin = "misbehaves",
     .misbehave = "console",
     .failing = {"every-byte-value"},
     .text = "once it was unloaded, a console control handler (SetConsoleCtrlHandler), at a "
             "Ctrl+Break, still called into it, expected nothing"},
    {.plugin = "misbehaves",
     .misbehave = "fls",
     .failing = {"every-byte-value"},
     .text = "once it was unloaded, a fiber-local storage callback (FlsAlloc), as its slot was "
             "freed, still called into it, expected nothing"},
    {.plugin = "misbehaves",
     .misbehave = "uef",
     .failing = {"every-byte-value"},
     .text = "the process still held addresses inside it: the unhandled-exception filter "
             "(SetUnhandledExceptionFilter), expected none"},
    {.plugin = "misbehaves",
     .misbehave = "pin",
     .failing = {"every-byte-value"},
     .text = "it stayed loaded once the host unloaded it (it pinned itself, or loaded itself "
             "again), expected it gone"},
    {.plugin = "misbehaves",
     .misbehave = "heapoverrun",
     .failing = {"every-byte-value"},
     .text = "after saving \"All Bytes \xC3\xA9\", the C runtime's heap (malloc's) was damaged",
     .when = "All Bytes"},
#else
    {.plugin = "misbehaves",
     .misbehave = "exit0",
     .failing = {"every-byte-value"},
     .text = "(exit status 0)"},
    {.plugin = "misbehaves",
     .misbehave = "segv",
     .failing = {"every-byte-value"},
     .text = "(killed by SIGSEGV)"},
    {.plugin = "misbehaves",
     .misbehave = "abort",
     .failing = {"every-byte-value"},
     .text = "(killed by SIGABRT)"},
    {.plugin = "misbehaves",
     .misbehave = "shout",
     .failing = {"every-byte-value"},
     .text =
         "(killed by SIGABRT); its last words on standard error: \"first line\\x0Asecond\\x09line"
         "\\x0Alast words\""},
    {.plugin = "misbehaves",
     .misbehave = "throw",
     .failing = {"every-byte-value"},
     .text = "(killed by SIGABRT)"},
    {.plugin = "misbehaves",
     .misbehave = "closefrom",
     .failing = {"process-state"},
     .text = "open descriptors: ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "linger",
     .failing = {"process-state"},
     .text = "child processes: ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "escape",
     .failing = {"every-byte-value"},
     .text = "left processes running: ",
     .racy = true},  // how many are still there when they are swept varies
    {.plugin = "misbehaves",
     .misbehave = "nocldwait",
     .failing = {"process-state"},
     .text = "SIGCHLD handling default flags 0x2",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "uselocale",
     .failing = {"process-state"},
     .text = "calling thread's locale one of its own",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "fwide",
     .failing = {"process-state"},
     .text = "stdout orientation wide",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "personality",
     .failing = {"process-state"},
     .text = "execution domain (personality) ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "subreaper",
     .failing = {"process-state"},
     .text = "child subreaper ",
     .when = "process-state"},
// A sanitizer's runtime reads the counter itself, and the process dies of that first.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
    {.plugin = "misbehaves",
     .misbehave = "tsc",
     .failing = {"process-state"},
     .text = "time-stamp counter (PR_GET_TSC) ",
     .when = "process-state"},
#endif
    {.plugin = "misbehaves",
     .misbehave = "sigpipe",
     .failing = {"process-state"},
     .text = "SIGPIPE handling ignored",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "sigint",
     .failing = {"process-state"},
     .text = "SIGINT handling ignored",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "nofile",
     .failing = {"process-state"},
     .text = "RLIMIT_NOFILE 64 64",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "stderr",
     .failing = {"process-state"},
     .text = "descriptor 2 ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "raise",
     .failing = {"every-byte-value"},
     .text = "(killed by SIGSEGV)"},
    {.plugin = "misbehaves",
     .misbehave = "rtsignal",
     .failing = {"every-byte-value"},
     .text = "(killed by signal " + std::to_string(SIGRTMIN + 6) + ")"},
    {.plugin = "ignores_write_result",
     .failing = {"failed-write"},
     .text = "result 1 when its write failed"},
    {.plugin = "misbehaves",
     .misbehave = "alarm",
     .failing = {"process-state"},
     .text = "ITIMER_REAL (alarm) armed",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "nonblock",
     .failing = {"process-state"},
     .text = "descriptor 1 status flags",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "cloexec",
     .failing = {"process-state"},
     .text = "descriptor 2 close-on-exec set",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "rttime",
     .failing = {"process-state"},
     .text = "RLIMIT_RTTIME 1000000",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "onexit",
     .failing = {"every-byte-value"},
     .text = "after the check, as the plug-in was unloaded or the process ended: the plug-in ended "
             "the process (killed by SIGSEGV): segmentation fault (SIGSEGV): an execute at 0x"},
    // The image is kept from reuse: what calls into it faults there, and is named.
    {.plugin = "misbehaves",
     .misbehave = "onexit",
     .failing = {"every-byte-value"},
     .text = ", in what was the plug-in's image until it was unloaded: something called or read it "
             "after the unload, at 0x",
     .name = "onexit_into_the_unloaded_image"},
    {.plugin = "misbehaves",
     .misbehave = "verdictdir",
     .failing = {"every-byte-value"},
     .text = "removed or replaced exporthost's file"},
    {.plugin = "misbehaves",
     .misbehave = "putenv",
     .failing = {"every-byte-value"},
     .text = "the process still held addresses inside it: environment entry "},
    {.plugin = "misbehaves",
     .misbehave = "sighandler",
     .failing = {"every-byte-value"},
     .text = "the process still held addresses inside it: SIGUSR2's handler, expected none"},
    {.plugin = "misbehaves",
     .misbehave = "load-raise",
     .failing = {"entry-points"},
     .text = "while the plug-in loaded: the plug-in ended"},
    {.plugin = "misbehaves",
     .misbehave = "load-hang",
     .failing = {"entry-points"},
     .text = "while the plug-in loaded: no answer within 5.5 s"},
#endif
    {.plugin = "misbehaves",
     .misbehave = "nullext-empty",
     .failing = {"null-extout"},
     .text = "no-extout.raw holds 0 bytes",
     .when = "no-extout"},
    {.plugin = "misbehaves",
     .misbehave = "unsteady",
     .failing = {"reproducible"},
     .text = "again.raw holds 1001 bytes, expected 1000",
     .when = "reproducible"},
    {.plugin = "misbehaves",
     .misbehave = "bytewise",
     .failing = {"extension"},
     .text = "(\".bina...\" needs at least 6 bytes with its zero)",
     .when = "extension"},
    {.plugin = "misbehaves",
     .misbehave = "setvbuf",
     .failing = {"every-byte-value"},
     .text = "the process still held addresses inside it: stdout's buffer, expected none"},
    {.plugin = "misbehaves",
     .misbehave = "writedata",
     .failing = {"every-byte-value"},
     .text = "the plug-in wrote into the block at byte 0, which the host hands over read-only"},
    {.plugin = "misbehaves",
     .misbehave = "tempfile",
     .failing = {"every-byte-value"},
     .text = " in its temporary folder ("},
    {.plugin = "misbehaves",
     .misbehave = "writelast",
     .failing = {"every-byte-value"},
     .text = "the plug-in wrote into the block at byte 255, which the host hands over read-only"},
    {.plugin = "misbehaves",
     .misbehave = "writepast",
     .failing = {"every-byte-value"},
     .text = "the plug-in wrote past the end of the block (256 bytes), at byte 256"},
    {.plugin = "misbehaves",
     .misbehave = "writepast",
     .failing = {"empty-block"},
     .text = "the plug-in wrote past the end of the block (0 bytes), at byte 0",
     .when = "empty-block",
     .name = "writepast_empty"},
    // A block of whole pages ends where a page no one may touch starts.
    {.plugin = "misbehaves",
     .misbehave = "writepast",
     .failing = {"large-block"},
     .text = "the plug-in wrote past the end of the block (16777216 bytes), at byte 16777216",
     .when = "large-block",
     .name = "writepast_pages",
     .options = {"--only", "large-block"}},
    {.plugin = "misbehaves",
     .misbehave = "readpast",
     .failing = {"large-block"},
     .text = "the plug-in read past the end of the block (16777216 bytes), at byte 16777216",
     .when = "large-block",
     .options = {"--only", "large-block"}},
    {.plugin = "misbehaves",
     .misbehave = "writename",
     .failing = {"every-byte-value"},
     .text = "the plug-in wrote into the base name at byte 0, which the host hands over read-only"},
    {.plugin = "misbehaves",
     .misbehave = "underrun",
     .failing = {"extension"},
     .text = "wrote before the start of the 5-byte extension buffer",
     .when = "extension"},
    {.plugin = "misbehaves",
     .misbehave = "lowercase",
#ifdef _WIN32
     .failing = {"names"},  // which alone lists the file's name: the system ignores case
#else
     .failing = {"names", "every-byte-value"},
#endif
     .text = ".raw",
     .when = ""},
    {.plugin = "misbehaves",
     .misbehave = "underscore",
     .failing = {"names", "every-byte-value"},
     .text = ".raw",
     .when = ""},
    {.plugin = "misbehaves",
     .misbehave = "shortname",
     .failing = {"names"},
     .text = "made \"long xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx.raw\", expected \"long x",
     .when = ""},
    {.plugin = "misbehaves",
     .misbehave = "norelative",
     .failing = {"names"},
     .text = "base name \"../files/relative\" (17 bytes): result 0",
     .when = ""},
    {.plugin = "misbehaves",
     .misbehave = "refuse",
     .failing = {"every-byte-value", "names", "empty-block", "reproducible", "truncates",
#ifndef _WIN32
                 "failed-write",
#endif
                 "null-extout", "threads", "no-stray-files"},
     .text = ": result 0 (",
     .when = ""},
    {.plugin = "misbehaves",
     .misbehave = "longmade",
     .failing = {"names"},
     .text = " bytes): result 0 and made \"",
     .when = ""},
    {.plugin = "misbehaves",
     .misbehave = "keepopen",
     .failing = {"process-state"},
     .text = "typical.raw still open on ",
     .when = "process-state"},
    {.plugin = "misbehaves",
     .misbehave = "backup",
     .failing = {"no-stray-files"},
     .text = "found prog.raw~, expected only the outputs",
     .when = "no-stray-files"},
    {.plugin = "misbehaves",
     .misbehave = "load-stray",
     .failing = {"no-stray-files"},
     .text = "found ./loaded.tmp, expected only the outputs"},
    {.plugin = "misbehaves",
     .misbehave = "herestray",
     .failing = {"no-stray-files"},
     .text = "found ./stray.tmp",
     .when = "no-stray-files"},
    {.plugin = "misbehaves",
     .misbehave = "noerrno",
     .failing = {"missing-folder"},
     .text = "result 0 with no cause left, expected why in errno",
     .when = "missing-folder"},
    {.plugin = "misbehaves",
     .misbehave = "extbysize",
     .failing = {"extension"},
     .text = "extension \".prg\" for 300 bytes",
     .when = "extension"},
};

class EachFault : public testing::TestWithParam<Fault> {};

// The words of a command line as the platform's shell splits them: quoted ('...' in sh, "..." in
// cmd) or not.
std::vector<std::string> shellWords(const std::string& line) {
#ifdef _WIN32
  const char quote = '"';
#else
  const char quote = '\'';
#endif
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool inWord = false;
  for (const char character : line) {
    if (character == quote) {
      quoted = !quoted;
      inWord = true;
    } else if (character == ' ' && !quoted) {
      if (inWord) {
        words.push_back(std::exchange(word, {}));
      }
      inWord = false;
    } else {
      word += character;
      inWord = true;
    }
  }
  if (inWord) {
    words.push_back(word);
  }
  return words;
}

// The command printed with the last failure runs that check alone and fails it the same way:
// in the same words, whatever numbers (addresses, process ids, handles, the length of a scratch
// folder's name) change; a random block's origin names the round alone. A race fails the same
// check again, not always at the same byte.
void expectTheSameFailureAgain(const CheckRun& run, const std::string& row, bool racy) {
  const auto again = run.details.find("again");
  ASSERT_NE(run.details.end(), again) << row;
  const std::vector<std::string> words = shellWords(again->second);
  ASSERT_GT(words.size(), 2U) << row;
  const CheckRun rerun = check(std::vector<std::string>(words.begin() + 2, words.end()));
  const auto failure = [racy](const CheckRun& each) {
    const auto line = std::find_if(each.lines.rbegin(), each.lines.rend(),
                                   [](const auto& text) { return text.starts_with("FAIL "); });
    if (line == each.lines.rend()) {
      return std::string();
    }
    const std::string shown = racy ? line->substr(0, line->find("]: ")) : *line;
    return std::regex_replace(std::regex_replace(shown, std::regex("from --seed [^:]*: "), ""),
                              std::regex("exporthost-[A-Za-z0-9]+|0x[0-9a-f]+|[0-9]+"), "#");
  };
  EXPECT_EQ(failure(run), failure(rerun)) << row << "again:\n" << rerun.result.out;
  // A search its time cut short ends where the clock says.
  const auto smallest = [](const CheckRun& each) {
    const auto found = each.details.find("smallest");
    return found == each.details.end() ? std::string() : found->second;
  };
  if (smallest(run).find("time allowed no more") == std::string::npos) {
    EXPECT_EQ(smallest(run), smallest(rerun)) << row;
  }
}

TEST_P(EachFault, FailsItsOwnChecksAndNoOther) {
  const Fault& fault = GetParam();
  ScopedEnvironment environment;
  environment.set("TEST_PLUGIN_MISBEHAVE", fault.misbehave);
  // Each check works in a folder named after it, which the base names show.
  environment.set("TEST_PLUGIN_WHEN", fault.when);
  letCrashesCrash(environment);
  const std::string plugin = fault.plugin.find_first_of("/\\") == std::string::npos
                                 ? testPlugin(fault.plugin)
                                 : fault.plugin;
  // A plug-in that misbehaves in one check alone is spared the slowest of the others. Where it
  // hangs, a short time-out, still long enough for a check process to start under load, and a
  // check before and after the one that hangs.
  const bool hangs = fault.misbehave.ends_with("hang");
  const bool whileLoading = fault.misbehave.starts_with("load-");
  std::vector<std::string> arguments =
      !fault.options.empty()     ? fault.options
      : hangs                    ? std::vector<std::string>{"--timeout", "5.5", "--only",
                                                            "entry-points,every-byte-value,empty-block"}
      : !fault.misbehave.empty() ? std::vector<std::string>{"--skip", "large-block,content"}
                                 : std::vector<std::string>{};
  if (!hangs || !fault.options.empty()) {
    arguments.push_back(fault.declare);
  }
  arguments.insert(arguments.end(), {"--plugin", plugin});
  if (fault.strict) {
    arguments.emplace_back("--strict");
  }
  const CheckRun run = check(arguments);
  const std::string row = fault.plugin + " " + fault.misbehave + ":\n" + run.result.out;
  EXPECT_EQ(fault.failing, run.failed) << row;
  EXPECT_EQ(fault.failing.empty() ? 0 : kFailure, run.result.exitCode) << row;
  ASSERT_FALSE(run.lines.empty()) << row;
  EXPECT_NE(std::string::npos, run.lines.back().find(" passed, ")) << row;
  for (const std::string& line : run.lines) {
    EXPECT_TRUE(!line.starts_with("FAIL ") ||
                line.find(" [" + quotedName(plugin) + "]: ") != std::string::npos)
        << row;
    EXPECT_TRUE(!line.starts_with("FAIL ") || line.find(fault.text) != std::string::npos) << row;
  }
  EXPECT_TRUE(run.result.err.empty()) << row << run.result.err;
  for (const auto& [name, text] : fault.shown) {
    EXPECT_TRUE(std::any_of(run.details.begin(), run.details.end(),
                            [&](const auto& detail) {
                              return detail.first.starts_with(name) &&
                                     detail.second.find(text) != std::string::npos;
                            }))
        << row << "expected under it: " << name << "... " << text;
  }
  EXPECT_TRUE(fault.notShown.empty() || run.result.out.find(fault.notShown) == std::string::npos)
      << row;
  if (!fault.failing.empty()) {
    expectTheSameFailureAgain(run, row, fault.racy);
  }
  if (!fault.options.empty()) {
    return;
  }
  // The last check still ran, in a fresh process, after the one the plug-in ended or hung; a
  // plug-in that cannot be loaded was loaded once, and the rest skipped.
  const std::string last = hangs ? "empty-block" : "no-stray-files";
  EXPECT_TRUE(fault.misbehave.empty() || fault.failing.contains(last) ||
              run.result.out.find((whileLoading ? "SKIP " : "PASS ") + last + " [") !=
                  std::string::npos)
      << row;
}

INSTANTIATE_TEST_SUITE_P(ExporthostCheck, EachFault, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<Fault>& info) {
                           if (!info.param.name.empty()) {
                             return info.param.name;
                           }
                           std::string name =
                               info.param.misbehave.empty()
                                   ? std::filesystem::path(info.param.plugin).stem().string()
                                   : info.param.misbehave;
                           if (info.param.declare.starts_with("--reference")) {
                             name += "_against_a_reference";
                           }
                           std::replace_if(
                               name.begin(), name.end(),
                               [](unsigned char byte) { return std::isalnum(byte) == 0; }, '_');
                           return name;
                         });

// The checks that run by default: all but About, which shows a box.
std::size_t defaultCheckCount() {
  return static_cast<std::size_t>(
      std::count_if(allChecks().begin(), allChecks().end(),
                    [](const Check& each) { return each.name != kAbout; }));
}

// A plug-in path is the label, quoted: it cannot forge a line, and two files of one name are told
// apart. One that cannot be loaded fails the load and skips the rest.
TEST(ExporthostCheck, QuotesThePluginPathSoItCannotForgeALine) {
  const TempDir dir;
  const std::string forged = dir / "x\nPASS fake [y].so";
  { std::ofstream notAModule(forged, std::ios::binary); }
  const CheckRun forging = check({"--plugin", forged});
  EXPECT_EQ(kFailure, forging.result.exitCode);
  for (const std::string& line : forging.lines) {
    EXPECT_FALSE(line.starts_with("PASS")) << forging.result.out;
  }
  if (exists(forged)) {
    EXPECT_EQ(0U, forging.result.out.find("FAIL entry-points [" + quotedName(forged) + "]: "))
        << forging.result.out;
    EXPECT_NE(std::string::npos,
              forging.result.out.find("\n0 passed, 1 failed, " +
                                      std::to_string(defaultCheckCount() - 1) + " skipped\n"))
        << forging.result.out;
  } else {
    // Windows takes no line feed in a name: the file cannot be made, and says so in one line.
    EXPECT_TRUE(forging.result.out.empty()) << forging.result.out;
  }

  // A file that is not there is one line, naming it once, and the others are still checked.
  const CheckRun missing = check({"--plugin", dir / "gone.so", "--plugin", RAW_PLUGIN_PATH});
  EXPECT_EQ(kFailure, missing.result.exitCode);
  EXPECT_EQ("exporthost: " + (dir / "gone.so") + ": no such file\n", missing.result.err);
  EXPECT_EQ(std::string::npos, missing.result.out.find("gone.so")) << missing.result.out;
  EXPECT_NE(std::string::npos, missing.result.out.find("PASS entry-points")) << missing.result.out;
}

// About runs when asked for, and the choice of checks is the user's: --only and --skip add up,
// in the table's order.
TEST(ExporthostCheck, RunsTheChecksChosenAndAboutOnlyWhenAsked) {
  ScopedEnvironment display;
  display.set("DISPLAY", ":4093");  // About of the raw plug-in shows nothing anywhere
  const CheckRun chosen = check(
      {"--only=description,quiet", "--only", "about", "--skip=quiet", "--plugin", RAW_PLUGIN_PATH});
  EXPECT_EQ((std::vector<std::string>{"PASS description [" + quotedName(RAW_PLUGIN_PATH) + "]",
                                      "FAIL about [" + quotedName(RAW_PLUGIN_PATH) +
                                          "]: result 0, expected 1 once the box is dismissed",
                                      "1 passed, 1 failed"}),
            chosen.lines);
  // Side by side, the large checks started first and ending last, the report keeps the order.
  const CheckRun inTurn = check({"--expect=identity", "--jobs=1"});
  EXPECT_EQ(inTurn.lines, check({"--expect=identity", "--jobs=4"}).lines);
  ASSERT_EQ(defaultCheckCount() + 1, inTurn.lines.size()) << inTurn.result.out;
  for (std::size_t index = 0; index < defaultCheckCount(); ++index) {
    EXPECT_EQ(4U, inTurn.lines[index].find(" " + std::string(allChecks()[index].name) + " ["))
        << inTurn.lines[index];
  }
  // A skip passes the run, unless --strict makes it fail.
  for (const bool strict : {false, true}) {
    const CheckRun skipped = check(strict ? std::vector<std::string>{"--only=content", "--strict"}
                                          : std::vector<std::string>{"--only=content"});
    EXPECT_EQ(strict ? kFailure : 0, skipped.result.exitCode) << skipped.result.out;
    EXPECT_EQ(
        std::string("0 passed, 0 failed, 1 skipped") + (strict ? ", which --strict fails" : ""),
        skipped.lines.back());
  }
}

// Random blocks reach what the fixed ones miss (a file cut at 16 MiB), are the same for the same
// seed, keep within --max-size, are given to the reference command too, and every form of the
// report says how to make them again.
TEST(ExporthostCheck, RandomBlocksComeFromTheSeedTheReportNames) {
  const TempDir dir;
  ScopedEnvironment environment;
  environment.set("TEST_PLUGIN_MISBEHAVE", "past16m");
  const auto cut = [](std::vector<std::string> more) {
    more.insert(more.end(), {"--only=content,reproducible", "--expect=identity", "--plugin",
                             testPlugin("misbehaves")});
    return check(more);
  };
  EXPECT_EQ(0, cut({}).result.exitCode);
  const std::string from = "from --seed 7 --repeat 1 --max-size 33554432";
  const CheckRun seeded = cut({"--seed", "7", "--junit", dir / "random.xml"});
  EXPECT_EQ(std::set<std::string>{"content"}, seeded.failed) << seeded.result.out;
  EXPECT_NE(std::string::npos, seeded.result.out.find("]: " + from +
                                                      ": random-1-3.raw holds 16777216 bytes, "
                                                      "expected 16808670; the first difference"))
      << seeded.result.out;
  EXPECT_EQ("1 passed, 1 failed; random blocks " + from, seeded.lines.back());
  const Bytes xml = readFile(dir / "random.xml");
  EXPECT_NE(std::string::npos,
            std::string(xml.begin(), xml.end())
                .find("<property name=\"random-blocks\" value=\"" + from.substr(5) + "\"/>"));
  // Details apart: a shrinking search can be cut short by the clock.
  EXPECT_EQ(seeded.lines, cut({"--seed", "7"}).lines);
  EXPECT_EQ(0, cut({"--seed", "7", "--max-size", "16M"}).result.exitCode);
  const CheckRun tap = cut({"--repeat", "2", "--format=tap"});
  EXPECT_EQ("# random blocks from --seed 1 --repeat 2 --max-size 33554432", tap.lines.at(1));
  // Each round's blocks saved again after the others.
  environment.set("TEST_PLUGIN_MISBEHAVE", "unsteady");
  environment.set("TEST_PLUGIN_WHEN", "random-2-");
  const CheckRun unsteady = cut({"--repeat", "2", "--max-size", "1K"});
  EXPECT_EQ(std::set<std::string>{"reproducible"}, unsteady.failed) << unsteady.result.out;
  EXPECT_NE(std::string::npos,
            unsteady.result.out.find("]: from --seed 1 --repeat 2 --max-size 1024: random-2-4.raw "
                                     "holds "))
      << unsteady.result.out;
  const CheckRun hex =
      check({"--only=content", "--seed=3", "--max-size=100000", "--reference=" + kHexReference,
             "--plugin", testPlugin("format_hex")});
  EXPECT_EQ(0, hex.result.exitCode) << hex.result.out;
#ifndef _WIN32
  // The reference run apart, as the kit runs it for an emulated check: blocks written, the
  // command run on them by the kit's script, the result read. Other rounds are refused.
  const std::string blocks = dir / "blocks";
  EXPECT_EQ(0, check({"--write-blocks", blocks, "--seed=3", "--max-size=100000"}).result.exitCode);
  EXPECT_EQ(0, runProcess({"cmake", "-DDIR=" + blocks, "-DREFERENCE=" + kHexReference, "-P",
                           std::string(TESTS_SOURCE_DIR) + "/../cmake/rawoutReference.cmake"})
                   .exitCode);
  const auto apart = [&blocks](const char* seed) {
    return check({"--only=content", "--reference-dir", blocks, "--max-size=100000", seed,
                  "--plugin", testPlugin("format_hex")});
  };
  EXPECT_EQ(hex.lines, apart("--seed=3").lines);
  const CheckRun other = apart("--seed=4");
  EXPECT_EQ(kUsage, other.result.exitCode);
  EXPECT_NE(std::string::npos, other.result.err.find("does not hold the blocks this check saves"))
      << other.result.err;
#endif
}

// TAP numbers every check of every plug-in and gives a failure its message; JUnit counts them
// and groups them by plug-in.
// A report's form, and what it must hold: each pattern (a regular expression, in which TOTAL,
// QUIET and CHATTY stand for the count of checks, the number of the chatty plug-in's quiet check
// and its quoted path) is looked for in the report, and in the JUnit file, which must be
// well-formed UTF-8 whatever the plug-in wrote.
struct ReportForm {
  std::string misbehave{};
  std::string when{};
  std::vector<std::string> plugins{};  // test plug-in variants, or paths
  std::vector<std::string> arguments{};
  std::vector<std::string> report{};
  std::vector<std::string> junit{};
};

const std::vector<ReportForm> kReportForms = {
    // The chatty plug-in's quiet check fails, numbered after all of rawout's, with its message
    // and the command that fails it again in YAML and in JUnit's failure; JUnit gives each case and
    // suite its time and each suite its count of skips.
    {.plugins = {RAWOUT_MODULE_PATH, "chatty"},
     .arguments = {"--format=tap"},
     .report = {"^TAP version 14\n", "\nnot ok QUIET - quiet \\[CHATTY\\]\n  ---\n  message: \"",
                "\n  again: \"[^\n]* check --only quiet [^\n]*\"\n  debug: \"add --in-process",
                "\n1\\.\\.TOTAL\n$"},
     .junit = {"tests=\"TOTAL\" failures=\"1\"", "\nagain: [^<\n]* check --only quiet ",
               "<testcase classname=\"CHATTY\" name=\"quiet\" time=\"[0-9]+\\.[0-9]{3}\">\n"
               "      <failure message=\"",
               "<testsuite name=\"[^\"]*\" tests=\"[0-9]+\" failures=\"1\" skipped=\"[0-9]+\" "
               "time=\"[0-9]+\\.[0-9]{3}\">"}},
    // A message's backslashes and quotes are escaped as YAML's double-quoted scalars need.
    {.misbehave = "shout",
     .plugins = {"misbehaves"},
     .arguments = {"--format=tap", "--only=every-byte-value"},
     .report = {R"(  message: ".*its last words on standard error: \\"first line\\\\x0)"}},
    // An extension that is no UTF-8 (an encoded surrogate) cannot make the XML ill-formed.
    {.misbehave = "oddext",
     .when = "extension",
     .plugins = {"misbehaves"},
     .arguments = {"--only", "extension"},
     .junit = {R"(\\xED\\xA0\\x80)"}},
};

TEST(ExporthostCheck, ReportsInTapAndJunit) {
  const TempDir dir;
  const std::string junit = dir / "results.xml";
  const std::string chatty = quotedName(testPlugin("chatty"));
  const auto quietIndex = std::find_if(allChecks().begin(), allChecks().end(),
                                       [](const Check& each) { return each.name == "quiet"; }) -
                          allChecks().begin();
  const std::vector<std::pair<std::string, std::string>> words = {
      {"TOTAL", std::to_string(2 * defaultCheckCount())},
      {"QUIET", std::to_string(defaultCheckCount() + 1 + quietIndex)},
      {"CHATTY", std::regex_replace(chatty, std::regex(R"([.\\/])"), "\\$&")}};
  for (const ReportForm& form : kReportForms) {
    ScopedEnvironment environment;
    environment.set("TEST_PLUGIN_MISBEHAVE", form.misbehave);
    environment.set("TEST_PLUGIN_WHEN", form.when);
    letCrashesCrash(environment);
    std::vector<std::string> arguments = form.arguments;
    arguments.insert(arguments.end(), {"--junit", junit});
    for (const std::string& plugin : form.plugins) {
      arguments.insert(
          arguments.end(),
          {"--plugin", plugin.find('/') == std::string::npos ? testPlugin(plugin) : plugin});
    }
    const CheckRun run = check(arguments);
    EXPECT_EQ(kFailure, run.result.exitCode) << run.result.out;
    const Bytes xml = readFile(junit);
    const std::string text(xml.begin(), xml.end());
    for (const auto& [patterns, held] :
         {std::pair{&form.report, &run.result.out}, {&form.junit, &text}}) {
      for (std::string pattern : *patterns) {
        for (const auto& [word, value] : words) {
          pattern = std::regex_replace(pattern, std::regex(word), value);
        }
        // (On Windows the stream is text, and its lines end in \x0D\x0A.)
        EXPECT_TRUE(std::regex_search(*held, std::regex(pattern))) << pattern << " in\n" << *held;
      }
    }
    for (std::size_t index = 0; index < text.size();) {
      std::uint32_t codePoint = 0;
      const std::size_t length = utf8SequenceAt(text, index, codePoint);
      ASSERT_NE(0U, length) << "not UTF-8 at byte " << index << ": " << text;
      index += length;
    }
  }
}

#ifndef _WIN32
// exporthost's own trouble is not the plug-in's: exit 2, and no check is blamed.
TEST(ExporthostCheck, OwnTroubleExitsWithTwoBlamingNoPlugin) {
  ScopedEnvironment display;
  display.unset("DISPLAY");
  display.unset("WAYLAND_DISPLAY");
  EXPECT_EQ(kTrouble, check({"--about"}).result.exitCode);
  const ProcessResult noScratch =
      runProcess({"/usr/bin/env", "TMPDIR=/nonexistent", EXPORTHOST_PATH, "check"});
  EXPECT_EQ(kTrouble, noScratch.exitCode);
  EXPECT_EQ("exporthost: cannot make a scratch folder in /nonexistent: No such file or directory\n",
            noScratch.err);
  const ProcessResult full = exporthost({"check", "--only=quiet", "--junit=/dev/full"});
  EXPECT_EQ(kTrouble, full.exitCode);
  EXPECT_EQ("exporthost: /dev/full: cannot write the JUnit report: No space left on device\n",
            full.err);
  // A reference command that fails is exporthost's trouble, not the plug-in's.
  const ProcessResult failing = exporthost({"check", "--only=content", "--reference=exit 3"});
  EXPECT_EQ(kTrouble, failing.exitCode) << failing.out;
  EXPECT_NE(std::string::npos,
            failing.err.find("the reference command 'exit 3' failed (exit status 3)"))
      << failing.err;
  // A scratch folder that stays, with what kept it: root alone can make a file that cannot be
  // removed (and clear the flag afterwards), where the file system keeps the flag.
  const auto pin = [](const std::string& path, bool pinned) {
    const int file = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    int flags = 0;
    bool done = file >= 0 && ::ioctl(file, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = pinned ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ::ioctl(file, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (file >= 0) {
      ::close(file);
    }
    return done;
  };
  const TempDir probe;
  writeFile(probe / "probe", {});
  if (::geteuid() == 0 && pin(probe / "probe", true) && pin(probe / "probe", false)) {
    const TempDir dir;
    const ProcessResult pinned = runProcess(
        {"/usr/bin/env", "TMPDIR=" + dir.path(), "TEST_PLUGIN_MISBEHAVE=immutable", EXPORTHOST_PATH,
         "check", "--only=every-byte-value", "--plugin", testPlugin("misbehaves")});
    EXPECT_EQ(kTrouble, pinned.exitCode) << pinned.out;
    EXPECT_NE(std::string::npos, pinned.err.find("cannot remove the scratch folder "))
        << pinned.err;
    EXPECT_TRUE(pinned.err.ends_with(": Operation not permitted\n")) << pinned.err;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
      (void)pin(entry.path().string(), false);
    }
  }
}
#endif

// A check that throws has a verdict all the same, the one both modes give: its failure, or
// exporthost's own trouble.
TEST(ExporthostCheck, ACheckThatThrowsHasAVerdict) {
  const ExportPlugin plugin(RAW_PLUGIN_PATH);
  const CheckContext context{plugin, ".", ".", ContentRule::Undeclared};
  const Check failing{"failing", "", [](const CheckContext&) -> Verdict {
                        throw std::runtime_error("went wrong");
                      }};
  const Check troubled{"troubled", "",
                       [](const CheckContext&) -> Verdict { throw CheckTrouble("no file"); }};
  const Verdict failed = verdictOf(failing, context);
  EXPECT_EQ(Verdict::Kind::Fail, failed.kind);
  EXPECT_EQ("went wrong", failed.text);
  EXPECT_EQ(Verdict::Kind::OwnTrouble, verdictOf(troubled, context).kind);
}

// --keep keeps the files of a check that fails, the plug-in's output among them, and of no other;
// what is there already is never replaced.
TEST(ExporthostCheck, KeepsTheFilesOfEachFailingCheckOnly) {
  const TempDir dir;
  const std::vector<std::string> arguments = {"--only=description,content",
                                              "--expect=identity",
                                              "--plugin",
                                              testPlugin("crlf"),
                                              "--keep",
                                              dir / "kept"};
  const CheckRun kept = check(arguments);
  EXPECT_EQ(kFailure, kept.result.exitCode);
  EXPECT_EQ(std::set<std::string>{"content"}, folderEntries(dir / "kept"));
  EXPECT_EQ(257U, readFile(dir / "kept/content/files/all.raw").size());
  EXPECT_EQ("exporthost: kept the check's files in " + (dir / "kept/content") + "\n",
            kept.result.err);
  const CheckRun again = check(arguments);
  EXPECT_EQ(kTrouble, again.result.exitCode);
  EXPECT_TRUE(again.result.err.ends_with("kept/content: it is there already\n"))
      << again.result.err;
  EXPECT_EQ(257U, readFile(dir / "kept/content/files/all.raw").size());
  // Beside a skipped check and a passing one: the failing one's alone.
  const CheckRun skipped = check({"--only=description,content,quiet", "--plugin",
                                  testPlugin("chatty"), "--keep", dir / "beside"});
  EXPECT_EQ(std::set<std::string>{"quiet"}, skipped.failed) << skipped.result.out;
  EXPECT_NE(std::string::npos, skipped.result.out.find("SKIP content")) << skipped.result.out;
  EXPECT_EQ(std::set<std::string>{"quiet"}, folderEntries(dir / "beside"));
}

// In exporthost's own process, for a debugger: the same verdicts.
TEST(ExporthostCheck, InProcessGivesTheSameVerdicts) {
  EXPECT_EQ((std::set<std::string>{"quiet"}),
            check({"--in-process", "--plugin", testPlugin("chatty")}).failed);
  const CheckRun unloadable = check({"--in-process", "--plugin", INCOMPLETE_PLUGIN_PATH});
  EXPECT_EQ((std::set<std::string>{"entry-points"}), unloadable.failed);
  EXPECT_NE(std::string::npos, unloadable.result.out.find("]: the plug-in cannot be loaded: "))
      << unloadable.result.out;
}

#ifndef _WIN32
// The TAP a CI job hands to prove (Debian 12's knows version 13): it passes rawout and fails a
// plug-in that breaks a check.
TEST(ExporthostCheck, TapIsReadByProve) {
  REQUIRE_TOOL("prove");
  const TempDir dir;
  for (const auto& [plugin, exitCode] : std::vector<std::pair<std::string, int>>{
           {RAWOUT_MODULE_PATH, 0}, {testPlugin("chatty"), 1}}) {
    const ProcessResult proved = runProcess(
        {"/bin/sh", "-c",
         "printf '#!/bin/sh\\nexec \"%s\" check --format=tap13 --plugin \"%s\"\\n' \"$0\" \"$1\" "
         ">\"$2/check.t\" && chmod +x \"$2/check.t\" && cd \"$2\" && prove ./check.t",
         EXPORTHOST_PATH, plugin, dir.path()});
    EXPECT_EQ(exitCode, proved.exitCode) << proved.out << proved.err;
    EXPECT_NE(std::string::npos, proved.out.find(exitCode == 0 ? "Result: PASS" : "Result: FAIL"))
        << proved.out;
  }
}

// A run that a plug-in or the user cuts short, and how exporthost must end.
struct Interruption {
  std::string misbehave;
  std::string signal;  // sent to exporthost, or "PIPE" for a reader that stops at one line
  int exitCode;
  std::string check = "every-byte-value";
  std::string tmpdir = ".";   // relative to the folder it runs in
  bool unprivileged = false;  // as root, run as nobody: root ignores a folder's mode
};
const std::vector<Interruption> kInterruptions = {
    {"segv", "-", kFailure},
    {"segv", "-", kFailure, "quiet"},
    {"linger", "-", kFailure},
    {"escape", "-", kFailure},
    {"lockfolder", "-", kFailure, "every-byte-value", ".", true},
    {"hang", "-", kFailure},
    {"hang", "TERM", 128 + SIGTERM},
    {"hang", "INT", 128 + SIGINT},
    {"hang", "HUP", 128 + SIGHUP},
    {"none", "PIPE", kTrouble},
    {"none", "-", 0, "every-byte-value", "relative/tmp"},
    // What a save leaves running is ended, and never waited for.
    {"linger", "-", 0, "export"},
    {"escape", "-", 0, "export"},
    {"hang", "TERM", 128 + SIGTERM, "export"},
    {"hang", "INT", 128 + SIGINT, "export"},
    {"hang", "HUP", 128 + SIGHUP, "export"},
};

// Whatever ends a check, exporthost removes its scratch folders and ends every process the check
// started: after a crash (in the quiet check too, whose capture is exporthost's own file), after
// a time-out, when exporthost itself is told to stop, when its report's reader goes away, when
// the plug-in escapes two sessions down or locks its folders, and with a relative TMPDIR.
TEST(ExporthostCheck, LeavesNoFolderOrProcessBehind) {
  const TempDir dir;
  const std::string marker = "TEST_PLUGIN_MARK=" + lastComponent(dir.path());
  const std::string script = std::string(TESTS_SOURCE_DIR) + "/interrupted_check.sh";
  for (const Interruption& row : kInterruptions) {
    const std::string where = dir / (row.misbehave + row.signal + row.check);
    std::filesystem::create_directories(where + "/" + row.tmpdir);
    // The marker goes into the environment of every process the run starts.
    std::vector<std::string> command = {"/usr/bin/env",
                                        marker,
                                        "/bin/bash",
                                        script,
                                        EXPORTHOST_PATH,
                                        row.misbehave,
                                        where,
                                        testPlugin("misbehaves"),
                                        row.signal == "-" ? "0" : row.signal,
                                        row.check,
                                        row.tmpdir};
    if (row.unprivileged) {
      std::filesystem::permissions(where, std::filesystem::perms::all);
      command = asNobody(dir, command, {EXPORTHOST_PATH, testPlugin("misbehaves"), script});
    }
    const ProcessResult result = runProcess(command);
    const std::string label = row.misbehave + " " + row.signal + " " + row.check;
    EXPECT_EQ(row.exitCode, result.exitCode) << label << ": " << result.out << result.err;
    std::filesystem::remove(where + "/out.raw");  // what an export wrote
    EXPECT_TRUE(std::filesystem::is_empty(where + "/" + row.tmpdir)) << label;
    // Any process still marked with this test's environment was left behind.
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
      std::ifstream environ(process.path() / "environ", std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(environ),
                             std::istreambuf_iterator<char>()};
      if (text.find(marker) != std::string::npos) {
        ADD_FAILURE() << label << ": left " << process.path();
        ::kill(std::stoi(process.path().filename()), SIGKILL);
      }
    }
  }
}
#endif

TEST(ExporthostCommandLine, HelpAndVersionSucceed) {
  const ProcessResult help = exporthost({"--help"});
  EXPECT_EQ(0, help.exitCode);
  EXPECT_EQ(0U, help.out.rfind("Usage: exporthost export", 0)) << help.out;
  const ProcessResult version = exporthost({"--vers"});  // unambiguous abbreviations are taken
  EXPECT_EQ(0, version.exitCode);
  EXPECT_EQ(0U, version.out.rfind("exporthost (rawout) ", 0)) << version.out;
  EXPECT_NE(std::string::npos, version.out.find("\nCopyright (C) ")) << version.out;
  EXPECT_NE(std::string::npos, version.out.find("\nLicense MIT")) << version.out;
  // The commit the build was configured from, where it was a git clone; no line where not.
  const std::string commit(RAWOUT_COMMIT);
  EXPECT_EQ(!commit.empty(),
            version.out.find("\nBuilt from commit " + commit + ".\n") != std::string::npos)
      << version.out;
  EXPECT_EQ(commit.empty(), version.out.find("Built from") == std::string::npos) << version.out;
  EXPECT_EQ(help.out, exporthost({"-h"}).out);
  EXPECT_EQ(help.out, exporthost({"help"}).out);
  // A command's own help: its usage, and the options it takes alone.
  for (const std::vector<std::string>& asked :
       {std::vector<std::string>{"export", "--help"}, {"help", "export"}, {"export", "-h"}}) {
    const ProcessResult own = exporthost(asked);
    EXPECT_EQ(0, own.exitCode);
    EXPECT_EQ(0U, own.out.rfind("Usage: exporthost export [--plugin PATH] INPUT [BASENAME]\n", 0))
        << own.out;
    EXPECT_NE(std::string::npos, own.out.find("\n  --plugin PATH ")) << own.out;
    EXPECT_EQ(std::string::npos, own.out.find("--timeout")) << own.out;
  }
  EXPECT_NE(std::string::npos, exporthost({"check", "--help"}).out.find("\n  --timeout SECONDS "));
  // --help wins over whatever else is wrong.
  EXPECT_EQ(0, exporthost({"frobnicate", "--bogus", "--help"}).exitCode);
}

// The first error on the line, naming the word as it was typed, in GNU's words.
// Each misuse, and what exporthost says of it.
const std::vector<std::pair<std::vector<std::string>, std::string>> kMisuses = {
    {{}, "missing command"},
    {{"frobnicate"}, "unknown command 'frobnicate'"},
    {{"chek"}, "unknown command 'chek'; did you mean 'check'?"},
    {{"help", "chek"}, "unknown command 'chek'; did you mean 'check'?"},
    {{"help", "check", "export"}, "extra operand 'export'"},
    {{"export", "--plugn", "x"}, "unrecognized option '--plugn'; did you mean '--plugin'?"},
    {{"check", "--only", "contnet"}, "no check is called 'contnet'; did you mean 'content'?"},
    {{"export"}, "missing operand"},
    {{"export", "a", "b", "c"}, "extra operand 'c'"},
    {{"export", "--bogus", "x.hex"}, "unrecognized option '--bogus'"},
    {{"export", "--bogus=1", "x.hex"}, "unrecognized option '--bogus=1'"},
    {{"export", "--bogus", "--worse=1", "x.hex"}, "unrecognized option '--bogus'"},
    {{"export", "--plugin"}, "option '--plugin' requires an argument"},
    {{"export", "-x", "--bogus"}, "invalid option -- 'x'"},
    {{"--version=2"}, "option '--version' doesn't allow an argument"},
    {{"export", "--plugin", "x", "--plugin", "y", "a"},
     "only one --plugin is taken by this command"},
    {{"export", "a", ""}, "BASENAME is empty; give the file name to write, without its extension"},
    {{"export", "a", "sub/"},
     "BASENAME sub/ names a folder; give the file name to write, without its extension"},
    {{"export", "a", "sub/.."},
     "BASENAME sub/.. names a folder; give the file name to write, without its extension"},
    {{"formats", "extra"}, "extra operand 'extra'"},
    {{"about", "extra"}, "extra operand 'extra'"},
    {{"check", "x.so"}, "extra operand 'x.so'; name a plug-in to check with --plugin 'x.so'"},
    {{"check", "--only", "quiet", "--skip", "quiet"}, "--only and --skip leave no check to run"},
    {{"check", "--expect=bytes"},
     "invalid --expect 'bytes': give identity, or --reference=COMMAND for a format of its own"},
    {{"check", "--expect=identity", "--reference=cat"},
     "give one of --expect, --reference and --reference-dir, once"},
    {{"formats", "--about"}, "option '--about' is taken by the check command only"},
    {{"export", "--in-proc", "a"}, "option '--in-process' is taken by the check command only"},
    {{"check", "--only", "bogus,quiet"},
     "no check is called 'bogus'; 'exporthost check --list' names them"},
    {{"check", "--skip="}, "no check is called ''; 'exporthost check --list' names them"},
    {{"check", "--s"}, "option '--s' is ambiguous; possibilities: '--skip' '--strict' '--seed'"},
    {{"check", "--timeout", "0"}, "invalid time-out '0': give seconds, above 0"},
    {{"check", "--format=x\ny"}, "invalid format 'x'$'\\n''y': give text, tap or tap13"},
    {{"check", "--junit="}, "--junit needs a file name"},
    {{"check", "--seed=-1"},
     "invalid seed '-1': give a whole number from 0 to 18446744073709551615, or random"},
    {{"check", "--repeat=0"}, "invalid repeat count '0': give 1 to 1000000 rounds"},
    {{"check", "--jobs=0"}, "invalid job count '0': give 1 to 256 check processes at once"},
    {{"check", "--seed=1", "--max-size=4G"},
     "invalid size '4G': give 1 to 4294967295 bytes, or a number with K, M or G"},
    {{"check", "--max-size=1M"},
     "--max-size bounds the random blocks: give --seed or --repeat with it"},
    {{"check", "--plugin", RAWOUT_MODULE_PATH, "--junit", RAWOUT_MODULE_PATH},
     "--junit " + quotedValue(RAWOUT_MODULE_PATH) +
         " names the plug-in being checked; give another file for the report"},
};

TEST(ExporthostCommandLine, MisuseExitsWithTwoNamingTheFirstFault) {
  for (const auto& [arguments, message] : kMisuses) {
    const ProcessResult result = exporthost(arguments);
    EXPECT_EQ(kUsage, result.exitCode) << ::testing::PrintToString(arguments);
    EXPECT_EQ("exporthost: " + message + "\nTry 'exporthost --help' for more information.\n",
              result.err);
    EXPECT_TRUE(result.out.empty());
  }
#ifdef _WIN32
  EXPECT_EQ(0U, exporthost({"/?"}).out.rfind("Usage: exporthost export", 0));
#else
  // Output that cannot be written is a failure, not a silent success.
  const ProcessResult full =
      runProcess({"/bin/sh", "-c", "exec \"$0\" formats >/dev/full", EXPORTHOST_PATH});
  EXPECT_EQ(kFailure, full.exitCode);
  EXPECT_EQ("exporthost: standard output: write error: No space left on device\n", full.err);
#endif
}

}  // namespace
}  // namespace rawout::test
