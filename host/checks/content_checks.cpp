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

Verdict writesWhatIsDeclared(const CheckContext& context) {
  if (context.content == ContentRule::Undeclared) {
    return Verdict::skip(
        "what the file holds is not declared: give --expect=identity when it holds the block byte "
        "for byte, or --reference=COMMAND, a command that writes the expected file from the block "
        "on its standard input");
  }
  for (const ContentBlock& block : contentBlocks(context.random)) {
    const BlockBytes bytes = bytesOf(block);
    std::string extension;
    const std::string from = block.origin.empty() ? "" : block.origin + ": ";
    if (auto problem = saveWell(context, bytes.view(), bytes.data(), block.name, extension)) {
      // Whether every block is accepted is for the checks named after each kind.
      return problem->kind == Verdict::Kind::Fail
                 ? Verdict::skip(from + "the plug-in refused the " + block.name + " block (" +
                                 problem->text + "); see the other checks")
                 : *problem;
    }
    const std::string file = outputFile(context, block.name, extension);
    std::string failure;
    if (context.content == ContentRule::Identity) {
      failure = compareFile(file, bytes.view(), "the bytes handed over");
    } else if (const auto expected = fileBytes(expectedFile(context.hostFiles, block))) {
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
  for (unsigned round = 1; round <= context.random.rounds; ++round) {
    if (auto problem = randomRoundAgain(context, randomBlocks(context.random, round))) {
      return *problem;
    }
  }
  return Verdict::pass();
}

}  // namespace rawout
