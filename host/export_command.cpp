#include "export_command.h"

#include "extension_buffer.h"
#include "fault_report.h"
#include "file_identity.h"
#include "quoted_name.h"
#include "scratch_folder.h"

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
  FaultReport report("exporthost: " + quotedName(plugin_.path()) +
                     ": wrote past the 5-byte extension buffer\n");
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
    throw ExportError(quotedName(plugin_.path()) +
                      ": its extension does not end within the 5-byte extension buffer");
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

std::string Exporter::save(const InputBlock& block, const std::string& baseName) const {
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
  return quotedName(baseName + reportedExtension(buffer)) + ": " + std::to_string(block.size()) +
         (block.size() == 1 ? " byte" : " bytes") + " written as " + format;
}

}  // namespace rawout
