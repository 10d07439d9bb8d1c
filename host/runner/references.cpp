#include "runner/references.h"

#include <filesystem>
#include <stdexcept>

#include "files/files.h"
#include "runner/reference_command.h"
#include "text/quoted_name.h"

namespace rawout {

namespace {

// Beside the blocks, which rounds they are of: the check that reads them must ask for the same.
std::string roundsFile(const std::string& folder) { return folder + "/rounds"; }

void writeBytes(const std::string& path, ByteView bytes) {
  if (!writeFile(path, bytes.data(), bytes.size())) {
    throw std::runtime_error("cannot write " + quotedName(path));
  }
}

}  // namespace

void prepareReferences(const CheckOptions& options, const Check& check, const CheckFolder& folder) {
  if (options.content != ContentRule::Reference || !check.savesContentBlocks) {
    return;
  }
  if (!options.referenceDir.empty()) {
    const std::string word = options.random.word();
    if (const auto written = fileContent(roundsFile(options.referenceDir)); written != word) {
      throw std::runtime_error(quotedName(options.referenceDir) +
                               " does not hold the blocks this check saves: write them with "
                               "--write-blocks and the same --seed, --repeat and --max-size");
    }
  }
  for (const ContentBlock& block : contentBlocks(options.random)) {
    if (!options.referenceDir.empty()) {
      const std::string written = options.referenceDir + "/" + block.name + ".expected";
      const auto expected = fileContent(written);
      if (!expected) {
        throw std::runtime_error(
            "cannot read " + quotedName(written) +
            ": --reference-dir needs NAME.expected beside each NAME.block, written by the "
            "reference command");
      }
      writeBytes(expectedFile(folder.hostFiles(), block),
                 Bytes(expected->begin(), expected->end()));
      continue;
    }
    const std::string input = folder.hostFiles() + "/" + block.name + ".block";
    writeBytes(input, bytesOf(block).view());
    runReference(options.reference, input, expectedFile(folder.hostFiles(), block),
                 folder.files() + "/" + block.name);
    std::filesystem::remove(input);
  }
}

std::function<std::optional<Bytes>(ByteView, const std::string&)> referenceFor(
    const std::string& command, const CheckFolder& folder) {
  if (command.empty()) {
    return {};
  }
  return [command, folder](ByteView block, const std::string& name) -> std::optional<Bytes> {
    const std::string input = folder.hostFiles() + "/" + name + ".candidate";
    const std::string output = input + ".expected";
    std::optional<Bytes> expected;
    try {
      writeBytes(input, block);
      runReference(command, input, output, folder.files() + "/" + name);
      expected = fileBytes(output);
    } catch (const std::runtime_error&) {
    }
    std::error_code ignored;
    std::filesystem::remove(input, ignored);
    std::filesystem::remove(output, ignored);
    return expected;
  };
}

std::size_t writeBlocks(const std::string& folder, const RandomRounds& random) {
  makeFolders(folder);
  const std::vector<ContentBlock> blocks = contentBlocks(random);
  for (const ContentBlock& block : blocks) {
    writeBytes(folder + "/" + block.name + ".block", bytesOf(block).view());
  }
  const std::string word = random.word();
  writeBytes(roundsFile(folder), Bytes(word.begin(), word.end()));
  return blocks.size();
}

}  // namespace rawout
