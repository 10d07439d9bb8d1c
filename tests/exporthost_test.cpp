// exporthost as a user runs it: commands, output, files and exit codes.
#include <filesystem>

#include "test_support.h"

namespace rawout::test {
namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;

ProcessResult exporthost(std::vector<std::string> arguments, const Stdin& input = {}) {
  arguments.insert(arguments.begin(), EXPORTHOST_PATH);
  return runProcess(arguments, input);
}

void expectUsageError(const std::vector<std::string>& arguments) {
  const ProcessResult result = exporthost(arguments);
  EXPECT_EQ(kUsage, result.exitCode) << ::testing::PrintToString(arguments);
  EXPECT_EQ(0U, result.err.rfind("exporthost: ", 0)) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("--help")) << result.err;
  EXPECT_TRUE(result.out.empty());
}

TEST(ExporthostExport, WritesTheInputBytesBesideItAndSaysWhat) {
  const TempDir dir;
  writeFile(dir / "prog.hex", everyByteValue());
  const ProcessResult result = exporthost({"export", dir / "prog.hex"});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(dir / "prog.bin: 256 bytes written as Binary File\n", result.out);
  EXPECT_TRUE(result.err.empty());
  EXPECT_EQ(everyByteValue(), readFile(dir / "prog.bin"));
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
  const Bytes bytes = pattern((3U << 20) + 11, 22);  // grows the buffer more than once
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
  expectUsageError({"export", "-"});
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
      "exporthost: " + (dir / "no/such/out") + ": cannot export as Binary File: ";
  EXPECT_EQ(0U, unwritable.err.rfind(prefix, 0)) << unwritable.err;
#ifndef _WIN32
  EXPECT_EQ(prefix + "No such file or directory\n", unwritable.err);
#endif
  EXPECT_GT(unwritable.err.size(), prefix.size() + 1) << unwritable.err;
#ifndef _WIN32
  // Quoted as coreutils quotes: the name cannot be misread or garble the terminal.
  const ProcessResult odd = exporthost({"export", dir / "it's\nodd"});
  EXPECT_EQ(
      "exporthost: '" + (dir / "it'\\''s'$'\\n''odd': cannot open: No such file or directory\n"),
      odd.err);
#endif
  EXPECT_TRUE(unwritable.out.empty());
}

TEST(ExporthostLoading, NamesThePathOrTheMissingEntryPoint) {
  const TempDir dir;
  writeFile(dir / "prog.prg", {1});
  const ProcessResult absent =
      exporthost({"export", "--plugin", dir / "nowhere.so", dir / "prog.prg"});
  EXPECT_EQ(kFailure, absent.exitCode);
  EXPECT_EQ(0U, absent.err.rfind("exporthost: " + (dir / "nowhere.so") + ": cannot load: ", 0))
      << absent.err;

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

  const ProcessResult incomplete = exporthost({"formats", "--plugin", INCOMPLETE_PLUGIN_PATH});
  EXPECT_EQ(kFailure, incomplete.exitCode);
  EXPECT_NE(std::string::npos, incomplete.err.find(INCOMPLETE_PLUGIN_PATH)) << incomplete.err;
  EXPECT_NE(std::string::npos, incomplete.err.find("'About'")) << incomplete.err;
  EXPECT_FALSE(exists(dir / "prog.bin"));
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
}

#ifndef _WIN32
TEST(ExporthostAbout, WithoutADisplayFailsAndSaysSo) {
  ScopedEnvironment environment;
  environment.unset("DISPLAY");
  environment.unset("WAYLAND_DISPLAY");
  const ProcessResult result = exporthost({"about"});
  EXPECT_EQ(kFailure, result.exitCode);
  EXPECT_NE(std::string::npos, result.err.find("could not be shown")) << result.err;
}
#endif

// The validator passes rawout and catches each fault on the check for it, naming the plug-in.
TEST(ExporthostCheck, PassesRawoutAndFailsEachFaultyPluginOnItsCheck) {
  const ProcessResult rawout = exporthost({"check"});
  EXPECT_EQ(0, rawout.exitCode) << rawout.out;
  EXPECT_EQ(std::string::npos, rawout.out.find("FAIL")) << rawout.out;
  EXPECT_NE(std::string::npos, rawout.out.find("PASS every-byte-value [")) << rawout.out;
  EXPECT_EQ(rawout.out.size() - 1, rawout.out.find(" passed, 0 failed\n") + 17) << rawout.out;
  EXPECT_TRUE(rawout.err.empty()) << rawout.err;

  for (const auto& [fault, check] :
       std::vector<std::pair<std::string, std::string>>{{"crlf", "every-byte-value"},
                                                        {"long_extension", "every-byte-value"},
                                                        {"leaks", "process-state"},
                                                        {"chatty", "quiet"}}) {
    const std::string file = fault + "_plugin" + TEST_PLUGIN_SUFFIX;
    const ProcessResult result =
        exporthost({"check", "--plugin", std::string(TEST_PLUGIN_DIR) + "/" + file});
    EXPECT_EQ(kFailure, result.exitCode) << fault;
    EXPECT_NE(std::string::npos, result.out.find("\nFAIL " + check + " [" + file + "]: "))
        << fault << ":\n"
        << result.out;
  }

  // About is called only when asked for; the raw plug-in's shows nothing.
  EXPECT_EQ(0, exporthost({"check", "--plugin", RAW_PLUGIN_PATH}).exitCode);
  const ProcessResult about = exporthost({"check", "--about", "--plugin", RAW_PLUGIN_PATH});
  EXPECT_EQ(kFailure, about.exitCode);
  EXPECT_NE(std::string::npos, about.out.find("\nFAIL about [")) << about.out;

  const ProcessResult unloadable = exporthost({"check", "--plugin", INCOMPLETE_PLUGIN_PATH});
  EXPECT_EQ(kFailure, unloadable.exitCode);
  EXPECT_EQ(0U, unloadable.out.rfind("FAIL entry-points [", 0)) << unloadable.out;
}

TEST(ExporthostCommandLine, HelpAndVersionSucceed) {
  const ProcessResult help = exporthost({"--help"});
  EXPECT_EQ(0, help.exitCode);
  EXPECT_EQ(0U, help.out.rfind("Usage: exporthost export", 0)) << help.out;
  const ProcessResult version = exporthost({"--vers"});  // unambiguous abbreviations are taken
  EXPECT_EQ(0, version.exitCode);
  EXPECT_EQ(0U, version.out.rfind("exporthost (rawout) ", 0)) << version.out;
  EXPECT_NE(std::string::npos, version.out.find("\nCopyright (C) ")) << version.out;
  EXPECT_NE(std::string::npos, version.out.find("\nLicense MIT")) << version.out;
  // --help wins over whatever else is wrong.
  EXPECT_EQ(0, exporthost({"frobnicate", "--bogus", "--help"}).exitCode);
}

TEST(ExporthostCommandLine, MisuseExitsWithTwo) {
  expectUsageError({});
  expectUsageError({"frobnicate"});
  expectUsageError({"export"});
  expectUsageError({"export", "a", "b", "c"});
  expectUsageError({"export", "--bogus", "a"});
  expectUsageError({"export", "a", "--plugin"});
  expectUsageError({"export", "--plugin", "x", "--plugin", "y", "a"});
  expectUsageError({"formats", "extra"});
  expectUsageError({"about", "extra"});
  expectUsageError({"check", "extra"});
  expectUsageError({"formats", "--about"});
}

}  // namespace
}  // namespace rawout::test
