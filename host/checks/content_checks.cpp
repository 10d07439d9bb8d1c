// What the files hold: what the user declares for each block, and the same bytes for the same
// block whatever saves came before.
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "checks/bodies.h"
#include "checks/file_comparison.h"
#include "checks/plugin_calls.h"
#include "checks/shrinking.h"
#include "files/files.h"
#include "text/printable.h"

namespace rawout {

namespace {

constexpr char kFirstSave[] = "the bytes of the first save of the block";

// Each block of a round saved, then all again in the opposite order, so that every other save of
// the round comes between a block's two.
std::optional<Verdict> randomRoundAgain(const CheckContext& context,
                                        const std::vector<ContentBlock>& blocks) {
  const auto firstOf = [&context](const ContentBlock& block) {
    return context.hostFiles + "/" + block.name + ".first";
  };
  std::string extension;
  for (const ContentBlock& block : blocks) {
    const BlockBytes bytes = bytesOf(block);
    if (auto problem = saveWell(context, bytes.view(), bytes.data(), block.name, extension)) {
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
    const BlockBytes bytes = bytesOf(block);
    if (auto problem = saveWell(context, bytes.view(), bytes.data(), block.name, extension)) {
      return Verdict{problem->kind, block.origin + ": " + problem->text};
    }
    const auto first = fileBytes(firstOf(block));
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

}  // namespace

namespace {

// What becomes of a file that does not hold what it must: left for --keep, or removed.
enum class Failing { Left, Removed };

// What the file saved from `bytes` as `name` holds against what it must: "" when it holds that,
// else where it differs. The verdict of a save that did not work, in `problem`.
std::string declaredDifference(const CheckContext& context, ByteView bytes, const std::string& name,
                               std::optional<ByteView> expected, std::optional<Verdict>& problem,
                               Failing failing = Failing::Left) {
  std::string extension;
  problem = saveWell(context, bytes, bytes.data(), name, extension);
  if (problem) {
    return {};
  }
  const std::string file = outputFile(context, name, extension);
  std::string failure = expected ? compareFile(file, *expected, "what the reference command wrote")
                                 : compareFile(file, bytes, "the bytes handed over");
  if (failure.empty() || failing == Failing::Removed) {
    removeFile(file);
  }
  return failure;
}

// A random block that failed, shrunk: the smallest block that fails the same way, said and left
// in the host files as NAME.smallest (kept with --keep).
Verdict::Detail smallestOf(const CheckContext& context, const ContentBlock& block, ByteView bytes,
                           const std::string& failure) {
  if (context.content == ContentRule::Reference && !context.expectedFor) {
    return {"smallest",
            "not sought: the expected files come from --reference-dir, and none can be "
            "written for a smaller block"};
  }
  // Saved under a name of their own, so that the block's own file is left as it failed.
  const std::string name = block.name + "-smaller";
  const BlockFailure fails = [&context, &name](ByteView candidate) {
    std::optional<Bytes> expected;
    if (context.content == ContentRule::Reference) {
      expected = context.expectedFor(candidate, name);
      if (!expected) {
        return std::string();
      }
    }
    std::optional<Verdict> problem;
    std::string difference = declaredDifference(
        context, candidate, name, expected ? std::optional<ByteView>(*expected) : std::nullopt,
        problem, Failing::Removed);
    return problem ? std::string() : difference;
  };
  const SmallestBlock smallest = smallestFailing(bytes, failure, fails, context.shrinkingEnds);
  const std::string kept = block.name + ".smallest";
  if (!writeFile(context.hostFiles + "/" + kept, smallest.bytes.data(), smallest.bytes.size())) {
    throw CheckTrouble("cannot write " + context.hostFiles + "/" + kept);
  }
  return {"smallest", describedBlock(smallest.bytes) + ", found in " +
                          std::to_string(smallest.saves) + " saves" +
                          (smallest.outOfTime ? " (the check's time allowed no more)" : "") +
                          " and left as " + kept +
                          " (--keep keeps it), fails the same way: " + smallest.failure};
}

}  // namespace

Verdict writesWhatIsDeclared(const CheckContext& context) {
  if (context.content == ContentRule::Undeclared) {
    return Verdict::skip(
        "what the file holds is not declared: give --expect=identity when it holds the block byte "
        "for byte, or --reference=COMMAND, a command that writes the expected file from the block "
        "on its standard input");
  }
  unsigned round = 0;
  for (const ContentBlock& block : contentBlocks(context.random)) {
    if (block.round != round) {
      round = block.round;
      noteRound(context.hostFiles, round);
    }
    const BlockBytes bytes = bytesOf(block);
    const std::string from = block.origin.empty() ? "" : block.origin + ": ";
    std::optional<Bytes> expected;
    if (context.content == ContentRule::Reference) {
      expected = fileBytes(expectedFile(context.hostFiles, block));
      if (!expected) {
        throw CheckTrouble("cannot read " + expectedFile(context.hostFiles, block));
      }
    }
    std::optional<Verdict> problem;
    const std::string failure =
        declaredDifference(context, bytes.view(), block.name,
                           expected ? std::optional<ByteView>(*expected) : std::nullopt, problem);
    if (problem) {
      // Whether every block is accepted is for the checks named after each kind.
      return problem->kind == Verdict::Kind::Fail
                 ? Verdict::skip(from + "the plug-in refused the " + block.name + " block (" +
                                 problem->text + "); see the other checks")
                 : *problem;
    }
    if (!failure.empty()) {
      Verdict verdict = Verdict::fail(from + failure);
      if (block.round != 0) {
        verdict.details.push_back(smallestOf(context, block, bytes.view(), failure));
      }
      return verdict;
    }
  }
  return Verdict::pass();
}

Verdict writesTheSameBytesAgain(const CheckContext& context) {
  const Bytes block = pattern(1000, 9);
  std::string extension;
  if (auto problem = saveWell(context, block, block.data(), "again", extension)) {
    return *problem;
  }
  const std::string file = outputFile(context, "again", extension);
  const auto first = fileBytes(file);
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
  for (const unsigned round : context.random.numbers()) {
    noteRound(context.hostFiles, round);
    if (auto problem = randomRoundAgain(context, randomBlocks(context.random, round))) {
      return *problem;
    }
  }
  return Verdict::pass();
}

}  // namespace rawout
