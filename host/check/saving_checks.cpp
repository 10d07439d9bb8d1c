// The checks of what every format owes a host when it saves, whatever it writes: the same block
// gives the same bytes under the same name, every block is accepted, the extension is one and
// fits, a failed write says so, and nothing is written but the output. What the bytes are is the
// content check's business alone.
#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "check/plugin_calls.h"
#include "check/registry.h"
#include "check/write_limit.h"
#include "support/file_identity.h"
#include "support/files.h"
#include "support/joined.h"
#include "support/paths.h"
#include "support/printable.h"

namespace rawout {

namespace {

constexpr char kFirstSave[] = "the bytes of the first save of the block";
constexpr char kSameBytes[] = "the bytes of the same block saved alone under the same name";
constexpr std::size_t kLongestBaseName = RAWOUT_BASE_NAME_MAX;
constexpr char kBufferWritten[] = "extension buffer written, expected it untouched";
constexpr char kNoCause[] = "result 0 with no cause left, expected why in errno";

// Saves `later` in the way the check describes, then holds the file to what `bytes` gives saved
// alone as `name`.
template <typename Scenario>
Verdict sameAsAlone(const CheckContext& context, const Bytes& bytes, const std::string& name,
                    Scenario later) {
  Bytes alone;
  std::string extension;
  if (auto problem = outputAlone(context, bytes, name, alone, extension)) {
    return *problem;
  }
  if (auto problem = later(extension)) {
    return *problem;
  }
  return Verdict::failIf(compareFile(outputFile(context, name, extension), alone, kSameBytes));
}

}  // namespace

Verdict extension(const CheckContext& context) {
  const std::array<std::pair<const char*, Bytes>, 4> blocks = {{
      {"empty", {}},
      {"one", {0x42}},
      {"some", pattern(300, 11)},
      {"large", pattern(std::size_t{16} << 20, 12)},
  }};
  std::string first;
  std::size_t firstSize = 0;
  for (const auto& [name, bytes] : blocks) {
    ExtensionBuffer buffer;
    const Saved saved = save(context, bytes.data(), bytes.size(), name, &buffer);
    if (saved.result != 1) {
      continue;  // a block refused reports no extension: the other checks say why
    }
    const auto reported = buffer.text();
    if (!reported) {
      return Verdict::fail("no terminating zero in the extension's " +
                           std::to_string(ExtensionBuffer::kBytes) + " bytes, expected one");
    }
    if (reported->empty() || reported->front() != '.') {
      return Verdict::fail("extension \"" + printable(*reported) +
                           R"(", expected one starting with ".")");
    }
    if (!first.empty() && *reported != first) {
      return Verdict::fail("extension \"" + printable(*reported) + "\" for " +
                           std::to_string(bytes.size()) + " bytes, \"" + printable(first) +
                           "\" for " + std::to_string(firstSize) +
                           ", expected one for every block");
    }
    if (first.empty()) {
      first = *reported;
      firstSize = bytes.size();
    }
    removeFile(outputFile(context, name, *reported));
  }
  // Again with the buffer just after an inaccessible page, for a store before its first byte.
  ExtensionBuffer guardedInFront(ExtensionBuffer::Guard::Before);
  const Bytes one = {0x42};
  if (save(context, one.data(), one.size(), "one", &guardedInFront).result == 1 &&
      guardedInFront.text()) {
    removeFile(outputFile(context, "one", *guardedInFront.text()));
  }
  if (first.empty()) {
    return Verdict::skip("the plug-in saved none of the blocks; see the other checks");
  }
  return Verdict::pass();
}

Verdict everyByteValueAccepted(const CheckContext& context) {
  const Bytes bytes = everyByteValue();
  // A name as a host forms one, not only the short lower-case ones other checks use.
  return saveWithAFile(context, bytes, bytes.data(), "All Bytes \xC3\xA9")
      .value_or(Verdict::pass());
}

// Each save under `baseName` (as handed over, which may be relative) must make exactly the file
// `fileName` + the extension in the check's folder; when `mayRefuse`, a 0 that makes nothing
// will do too. "" or what went wrong.
std::string savedAsNamed(const CheckContext& context, const Bytes& block,
                         const std::string& baseName, const std::string& fileName, bool mayRefuse) {
  const std::set<std::string> before = folderEntries(context.folder);
  ExtensionBuffer buffer;
  const Saved saved = saveAs(context, block.data(), block.size(), baseName, &buffer);
  std::vector<std::string> made;
  for (const std::string& entry : folderEntries(context.folder)) {
    if (!before.contains(entry)) {
      made.push_back(entry);
    }
  }
  const auto shown = [](const std::vector<std::string>& names) {
    std::vector<std::string> each;
    each.reserve(names.size());
    for (const std::string& name : names) {
      each.push_back("\"" + printable(name) + "\"");
    }
    return each.empty() ? std::string("nothing") : joined(each, ", ");
  };
  const std::string what =
      "base name \"" + printable(baseName) + "\" (" + std::to_string(baseName.size()) + " bytes): ";
  if (saved.result == 0 && mayRefuse) {
    return made.empty() ? "" : what + "result 0 and made " + shown(made) + ", expected nothing";
  }
  if (saved.result != 1) {
    return what + unexpected(saved, 1);
  }
  const auto extension = buffer.text();
  if (!extension) {
    return {};  // the extension check's business
  }
  // Files beside it are the no-stray-files check's business.
  const std::string expected = fileName + *extension;
  for (const std::string& name : made) {
    removeFile(context.folder + "/" + name);
  }
  if (std::find(made.begin(), made.end(), expected) == made.end()) {
    return what + "made " + shown(made) + ", expected \"" + printable(expected) + "\"";
  }
  return {};
}

Verdict names(const CheckContext& context) {
  const Bytes block = pattern(300, 15);
  // From the check's working folder, which lies beside the one it saves in; not in exporthost's
  // own process, which keeps the user's.
  const std::string relative = "../" + lastComponent(context.folder) + "/";
  const bool relativeWorks = identityOf(relative) == identityOf(context.folder);
  struct Name {
    std::string name;
    bool relative = false;
    bool mayRefuse = false;  // past the longest name every plug-in takes
  };
  const std::vector<Name> names = {
      {"with spaces"},
      {"Mixed Case"},
      {"utf8 \xC3\xA9\xE2\x82\xAC"},
      {"latin1 \xE9\xFF\x80"},
      {"long " + std::string(70, 'x')},
      {"relative", true},
      {std::string(kLongestBaseName - relative.size(), 'r'), true},
      {std::string(2 * kLongestBaseName - relative.size(), 'p'), true, true},
  };
  for (const Name& each : names) {
    if (each.relative && !relativeWorks) {
      continue;
    }
    const std::string baseName = (each.relative ? relative : context.folder + "/") + each.name;
    if (std::string failure = savedAsNamed(context, block, baseName, each.name, each.mayRefuse);
        !failure.empty()) {
      return Verdict::fail(failure);
    }
  }
  return Verdict::pass();
}

Verdict emptyBlock(const CheckContext& context) {
  const unsigned char somewhere = 0;
  if (auto problem = saveWithAFile(context, {}, &somewhere, "empty")) {
    return *problem;
  }
  auto problem = saveWithAFile(context, {}, nullptr, "empty-null");
  if (problem && problem->kind == Verdict::Kind::Fail) {
    return Verdict::fail("with a null address: " + problem->text);
  }
  return problem.value_or(Verdict::pass());
}

Verdict content(const CheckContext& context) {
  if (context.content == ContentRule::Undeclared) {
    return Verdict::skip(
        "what the file holds is not declared: give --expect=identity when it holds the block byte "
        "for byte, or --reference=COMMAND, a command that writes the expected file from the block "
        "on its standard input");
  }
  for (const ContentBlock& block : contentBlocks(context.random)) {
    const Bytes bytes = bytesOf(block);
    std::string extension;
    const std::string from = block.origin.empty() ? "" : block.origin + ": ";
    if (auto problem = saveWell(context, bytes, bytes.data(), block.name, extension)) {
      // Whether every block is accepted is for the checks named after each kind.
      return problem->kind == Verdict::Kind::Fail
                 ? Verdict::skip(from + "the plug-in refused the " + block.name + " block (" +
                                 problem->text + "); see the other checks")
                 : *problem;
    }
    const std::string file = outputFile(context, block.name, extension);
    std::string failure;
    if (context.content == ContentRule::Identity) {
      failure = compareFile(file, bytes, "the bytes handed over");
    } else if (const auto expected = readFile(expectedFile(context.hostFiles, block))) {
      failure = compareFile(file, *expected, "what the reference command wrote");
    } else {
      throw CheckTrouble("cannot read " + expectedFile(context.hostFiles, block));
    }
    if (!failure.empty()) {
      return Verdict::fail(from + failure);
    }
    removeFile(file);
  }
  return Verdict::pass();
}

// Each block of a round saved, then all again in the opposite order, so that every other save of
// the round comes between a block's two.
std::optional<Verdict> randomRoundAgain(const CheckContext& context,
                                        const std::vector<ContentBlock>& blocks) {
  const auto firstOf = [&context](const ContentBlock& block) {
    return context.hostFiles + "/" + block.name + ".first";
  };
  std::string extension;
  for (const ContentBlock& block : blocks) {
    const Bytes bytes = bytesOf(block);
    if (auto problem = saveWell(context, bytes, bytes.data(), block.name, extension)) {
      return Verdict{problem->kind, block.origin + ": " + problem->text};
    }
    std::error_code error;
    std::filesystem::rename(outputFile(context, block.name, extension), firstOf(block), error);
    if (error) {
      return Verdict::fail(block.origin + ": no file " + block.name + printable(extension) +
                           " after result 1");
    }
  }
  for (std::size_t left = blocks.size(); left > 0; --left) {
    const ContentBlock& block = blocks[left - 1];
    const Bytes bytes = bytesOf(block);
    if (auto problem = saveWell(context, bytes, bytes.data(), block.name, extension)) {
      return Verdict{problem->kind, block.origin + ": " + problem->text};
    }
    const auto first = readFile(firstOf(block));
    if (!first) {
      throw CheckTrouble("cannot read " + firstOf(block));
    }
    const std::string file = outputFile(context, block.name, extension);
    if (std::string failure = compareFile(file, *first, kFirstSave); !failure.empty()) {
      return Verdict::fail(block.origin + ": " + failure);
    }
    removeFile(file);
    removeFile(firstOf(block));
  }
  return std::nullopt;
}

Verdict reproducible(const CheckContext& context) {
  const Bytes block = pattern(1000, 9);
  std::string extension;
  if (auto problem = saveWell(context, block, block.data(), "again", extension)) {
    return *problem;
  }
  const std::string file = outputFile(context, "again", extension);
  const auto first = readFile(file);
  removeFile(file);
  // Other saves between, of other blocks and names.
  std::string other;
  for (const auto& [name, bytes] :
       {std::pair{"other", pattern(5000, 10)}, std::pair{"values", everyByteValue()}}) {
    if (auto problem = saveWell(context, bytes, bytes.data(), name, other)) {
      return *problem;
    }
  }
  if (auto problem = saveWell(context, block, block.data(), "again", extension)) {
    return *problem;
  }
  if (!first) {
    return Verdict::fail("no file again" + printable(extension) + " after result 1");
  }
  if (std::string failure = compareFile(file, *first, kFirstSave); !failure.empty()) {
    return Verdict::fail(failure);
  }
  removeFile(file);
  for (unsigned round = 1; round <= context.random.rounds; ++round) {
    if (auto problem = randomRoundAgain(context, randomBlocks(context.random, round))) {
      return *problem;
    }
  }
  return Verdict::pass();
}

// Saved once long, then short: the file must hold what the short block gives alone.
Verdict truncates(const CheckContext& context) {
  const Bytes shorter = pattern(100, 2);
  return sameAsAlone(
      context, shorter, "shrink", [&](const std::string& /*extension*/) -> std::optional<Verdict> {
        const Bytes longer = pattern(10000, 1);
        std::string ignored;
        if (auto problem = saveWell(context, longer, longer.data(), "shrink", ignored)) {
          return problem;
        }
        return saveWell(context, shorter, shorter.data(), "shrink", ignored);
      });
}

Verdict nullExtOut(const CheckContext& context) {
  const Bytes block = pattern(300, 3);
  return sameAsAlone(
      context, block, "no-extout", [&](const std::string& /*extension*/) -> std::optional<Verdict> {
        const Saved saved = save(context, block.data(), block.size(), "no-extout", nullptr);
        if (saved.result != 1) {
          return Verdict::fail(unexpected(saved, 1));
        }
        return std::nullopt;
      });
}

Verdict missingFolder(const CheckContext& context) {
  ExtensionBuffer buffer;
  const Bytes block = pattern(300, 3);
  const Saved saved = save(context, block.data(), block.size(), "missing/prog", &buffer);
  if (saved.result != 0) {
    return Verdict::fail(unexpected(saved, 0));
  }
  if (saved.cause.empty()) {
    return Verdict::fail(kNoCause);
  }
  if (!buffer.untouched()) {
    return Verdict::fail(kBufferWritten);
  }
  if (folderEntries(context.folder).contains("missing")) {
    return Verdict::fail("the folder was created, expected nothing");
  }
  return Verdict::pass();
}

// A write that fails part-way, as on a full disk: the save must say so, and leave no file that a
// host would take for the program.
Verdict failedWrite(const CheckContext& context) {
  if (const std::string why = WriteLimit::unsupported(); !why.empty()) {
    return Verdict::skip(why);
  }
  std::string extension;
  const Bytes probe = pattern(10, 13);
  if (auto problem = saveWell(context, probe, probe.data(), "probe", extension)) {
    return *problem;
  }
  constexpr std::size_t kLimit = 4096;
  const Bytes block = pattern(std::size_t{1} << 20, 14);
  Saved saved{};
  ExtensionBuffer buffer;
  {
    const WriteLimit limit(kLimit);
    saved = save(context, block.data(), block.size(), "cut", &buffer);
  }
  const std::string file = outputFile(context, "cut", extension);
  if (saved.result != 0) {
    return Verdict::fail("result " + std::to_string(saved.result) +
                         " when its write failed after " + std::to_string(kLimit) +
                         " bytes (a file-size limit), expected 0");
  }
  if (saved.cause.empty()) {
    return Verdict::fail(kNoCause);
  }
  if (!buffer.untouched()) {
    return Verdict::fail(kBufferWritten);
  }
  if (const auto left = readFile(file)) {
    return Verdict::fail("cut" + printable(extension) + " left behind with " +
                         std::to_string(left->size()) +
                         " bytes after result 0, expected no incomplete file");
  }
  return Verdict::pass();
}

Verdict largeBlock(const CheckContext& context) {
  const Bytes large = pattern(std::size_t{16} << 20, 4);
  return saveWithAFile(context, large, large.data(), "Large \xE9").value_or(Verdict::pass());
}

Verdict threads(const CheckContext& context) {
  constexpr int kThreads = 8;
  std::vector<Bytes> blocks;
  std::vector<Bytes> alone(kThreads);
  std::string extension;
  for (int thread = 0; thread < kThreads; ++thread) {
    blocks.push_back(pattern(65536 + static_cast<std::size_t>(thread) * 1000, 100 + thread));
    if (auto problem = outputAlone(context, blocks.back(), "thread" + std::to_string(thread),
                                   alone[thread], extension)) {
      return *problem;
    }
  }
  std::array<std::string, kThreads> failures;
  std::vector<std::thread> savers;
  savers.reserve(kThreads);
  std::optional<std::system_error> noThread;
  for (int thread = 0; thread < kThreads && !noThread; ++thread) {
    try {
      savers.emplace_back([&, thread] {
        const Bytes& bytes = blocks[thread];
        const std::string name = "thread" + std::to_string(thread);
        std::string reported;
        if (auto problem = saveWell(context, bytes, bytes.data(), name, reported)) {
          failures[thread] = problem->text;
          return;
        }
        failures[thread] =
            compareFile(outputFile(context, name, reported), alone[thread], kSameBytes);
      });
    } catch (const std::system_error& error) {
      noThread = error;
    }
  }
  // Those started are joined even when the rest could not start: a thread left joinable would
  // end the check process.
  for (auto& saver : savers) {
    saver.join();
  }
  if (noThread) {
    // The system's limit, not the plug-in's fault.
    throw CheckTrouble(std::string("cannot start a saving thread: ") + noThread->code().message());
  }
  const auto* const failed =
      std::find_if(failures.begin(), failures.end(),
                   [](const std::string& failure) { return !failure.empty(); });
  return failed == failures.end() ? Verdict::pass() : Verdict::fail(*failed);
}

Verdict noStrayFiles(const CheckContext& context) {
  char workingFolder[4096] = ".";
  const std::set<std::string> workingBefore = folderEntries(workingFolder);
  const Bytes block = pattern(300, 5);
  std::string extension;
  std::string emptyExtension;
  // Saved twice: the second replaces a file, where a backup would show.
  for (int round = 0; round < 2; ++round) {
    if (auto problem = saveWell(context, block, block.data(), "prog", extension)) {
      return *problem;
    }
  }
  std::set<std::string> expected = {"prog" + extension};
  // An empty block refused is the empty-block check's business: its file, if any, is expected.
  if (!saveWell(context, {}, block.data(), "empty", emptyExtension)) {
    expected.insert("empty" + emptyExtension);
  }
  (void)save(context, block.data(), block.size(), "missing/prog", nullptr);
  std::vector<std::string> strays;
  for (const auto& name : folderEntries(context.folder)) {
    if (!expected.contains(name)) {
      strays.push_back(printable(name));
    }
  }
  for (const auto& name : folderEntries(workingFolder)) {
    if (!workingBefore.contains(name)) {
      strays.push_back("./" + printable(name));
    }
  }
  if (!strays.empty()) {
    return Verdict::fail("found " + joined(strays, "; ") + ", expected only the outputs");
  }
  return Verdict::pass();
}

}  // namespace rawout
