// The checks of what every format owes a host when it saves, whatever it writes: every block is
// accepted, the extension is one and fits, a failed write says so, a file is replaced whole, and
// nothing is written but the output.
#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "checks/bodies.h"
#include "checks/file_comparison.h"
#include "checks/plugin_calls.h"
#include "files/file_identity.h"
#include "files/files.h"
#include "inspect/write_limit.h"
#include "text/joined.h"
#include "text/paths.h"
#include "text/printable.h"

namespace rawout {

namespace {

constexpr char kSameBytes[] = "the bytes of the same block saved alone under the same name";
constexpr char kBufferWritten[] = "extension buffer written, expected it untouched";
constexpr char kNoCause[] = "result 0 with no cause left, expected why in errno";

// Saves `later` in the way the check describes, then holds the file to what `bytes` gives saved
// alone as `name`.
template <typename Scenario>
Verdict sameAsAlone(const CheckContext& context, ByteView bytes, const std::string& name,
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

Verdict reportsOneExtensionThatFits(const CheckContext& context) {
  const Bytes one = {0x42};
  const Bytes some = pattern(300, 11);
  const std::array<std::pair<const char*, ByteView>, 4> blocks = {{
      {"empty", {}},
      {"one", one},
      {"some", some},
      {"large", largeBlock()},
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
  if (save(context, one.data(), one.size(), "one", &guardedInFront).result == 1 &&
      guardedInFront.text()) {
    removeFile(outputFile(context, "one", *guardedInFront.text()));
  }
  if (first.empty()) {
    return Verdict::skip("the plug-in saved none of the blocks; see the other checks");
  }
  return Verdict::pass();
}

Verdict acceptsEveryByteValue(const CheckContext& context) {
  const Bytes bytes = everyByteValue();
  std::string extension;
  // A name as a host forms one, not only the short lower-case ones other checks use.
  return saveWell(context, bytes, bytes.data(), "All Bytes \xC3\xA9", extension, Leaves::TheFile)
      .value_or(Verdict::pass());
}

Verdict acceptsAnEmptyBlock(const CheckContext& context) {
  const unsigned char somewhere = 0;
  std::string extension;
  if (auto problem = saveWell(context, {}, &somewhere, "empty", extension, Leaves::TheFile)) {
    return *problem;
  }
  auto problem = saveWell(context, {}, nullptr, "empty-null", extension, Leaves::TheFile);
  if (problem && problem->kind == Verdict::Kind::Fail) {
    return Verdict::fail("with a null address: " + problem->text);
  }
  return problem.value_or(Verdict::pass());
}

// Saved once long, then short: the file must hold what the short block gives alone.
Verdict replacesALongerFile(const CheckContext& context) {
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

Verdict savesWithoutAnExtensionBuffer(const CheckContext& context) {
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

Verdict refusesAMissingFolder(const CheckContext& context) {
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
Verdict reportsAFailedWrite(const CheckContext& context) {
  if (const std::string why = WriteLimit::unsupported(); !why.empty()) {
    return Verdict::unsupported(why);
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
  if (const auto left = fileBytes(file)) {
    return Verdict::fail("cut" + printable(extension) + " left behind with " +
                         std::to_string(left->size()) +
                         " bytes after result 0, expected no incomplete file");
  }
  return Verdict::pass();
}

Verdict completesALargeBlock(const CheckContext& context) {
  const ByteView large = largeBlock();
  std::string extension;
  return saveWell(context, large, large.data(), "Large \xE9", extension, Leaves::TheFile)
      .value_or(Verdict::pass());
}

Verdict savesFromManyThreads(const CheckContext& context) {
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

Verdict writesNoStrayFiles(const CheckContext& context) {
  const std::string workingFolder = ".";
  const std::set<std::string> workingBefore = context.workingFolderBeforeLoad
                                                  ? *context.workingFolderBeforeLoad
                                                  : folderEntries(workingFolder);
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
