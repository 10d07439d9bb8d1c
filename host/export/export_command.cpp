#include "export/export_command.h"

#include "export/base_name.h"

#include "loader/extension_buffer.h"
#include "loader/fault_trap.h"
#include "support/file_identity.h"
#include "support/quoted_name.h"
#include "support/scratch_folder.h"

namespace rawout {

namespace {

std::string withCause(const std::string& cause) { return cause.empty() ? "" : " (" + cause + ")"; }

}  // namespace

Exporter::Exporter(const std::string& pluginPath)
    : plugin_(pluginPath), extension_(learnExtension()) {}

ExportPlugin::SaveOutcome Exporter::guardedSave(const void* data, std::uint32_t size,
                                                const std::string& baseName,
                                                const ExtensionBuffer& buffer,
                                                const InputBlock* input) const {
  FaultTrap report("exporthost: " + quotedName(plugin_.path()) + ": wrote past " +
                   ExtensionBuffer::described() + "\n");
  if (input != nullptr) {
    // A mapped input cut short under the plug-in faults where its pages were.
    report.watch(input->data(), input->size(),
                 "exporthost: " + std::string(InputError::changed(input->path()).what()) + "\n");
  }
  return plugin_.saveReporting(data, size, baseName.c_str(), buffer.get());
}

std::string Exporter::reportedExtension(const ExtensionBuffer& buffer) const {
  const auto extension = buffer.text();
  if (!extension) {
    throw ExportError(quotedName(plugin_.path()) + ": its extension does not end within " +
                      ExtensionBuffer::described());
  }
  return *extension;
}

std::string Exporter::learnExtension() const {
  const std::string cannot = quotedName(plugin_.path()) + ": cannot learn its extension: ";
  try {
    const ScratchFolder scratch;
    const ExtensionBuffer buffer;
    // Not empty: a plug-in may rightly refuse an empty program.
    constexpr char kTrialBlock[] = "exporthost trial save\n";
    const std::string trialName = scratch / "trial";
    const auto trial = guardedSave(kTrialBlock, sizeof kTrialBlock - 1, trialName, buffer, nullptr);
    if (trial.result != 1) {
      throw ExportError(cannot + "a trial save to " + quotedName(trialName) + " gave result " +
                        std::to_string(trial.result) + withCause(trial.cause) + ", expected 1");
    }
    return reportedExtension(buffer);
  } catch (const ScratchFolderError& error) {
    throw ExportError(cannot + error.what());
  }
}

Exported Exporter::save(const InputBlock& block, const std::string& baseName) const {
  const std::string output = baseName + extension_;
  if (block.file() && identityOf(output) == block.file()) {
    throw ExportError(quotedName(output) + ": is the input file; give another BASENAME");
  }
  const ExtensionBuffer buffer;
  const auto saved = guardedSave(block.data(), block.size(), baseName, buffer, &block);
  // A failed write's cause would mislead ("Bad address") and a finished one may hold a mix.
  if (block.changed()) {
    throw InputError::changed(block.path());
  }
  const std::string format = displayNameOf(plugin_);
  if (saved.result != 1) {
    throw ExportError(quotedName(output) + ": cannot export as " + format +
                      (saved.cause.empty() ? std::string() : ": " + saved.cause));
  }
  return {baseName + reportedExtension(buffer), block.size(), format};
}

std::string chooseBaseName(const std::string& input, const std::optional<std::string>& given) {
  if (input == "-" && !given) {
    throw BaseNameError("a BASENAME is needed when INPUT is standard input");
  }
  std::string baseName = given ? *given : baseNameOf(input);
  if (baseName.empty()) {
    throw BaseNameError("BASENAME is empty; give the file name to write, without its extension");
  }
  if (namesAFolder(baseName)) {
    throw BaseNameError("BASENAME " + quotedName(baseName) +
                        " names a folder; give the file name to write, without its extension");
  }
  return baseName;
}

Exported exportProgram(const std::string& pluginPath, const std::string& input,
                       const std::optional<std::string>& baseName) {
  const std::string output = chooseBaseName(input, baseName);
  const InputBlock block(input);
  const Exporter exporter(pluginPath);
  return exporter.save(block, output);
}

}  // namespace rawout
