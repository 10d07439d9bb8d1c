#include "export_command.h"

#include "extension_buffer.h"
#include "failure_cause.h"
#include "fault_report.h"
#include "file_identity.h"
#include "quoted_name.h"
#include "scratch_folder.h"

namespace rawout {

namespace {

// Marks the extension buffer, so that a plug-in that leaves it as it was is told from one that
// wrote a terminated text.
constexpr char kUnwritten = '\xA5';

std::string withCause(const std::string& cause) { return cause.empty() ? "" : " (" + cause + ")"; }

}  // namespace

Exporter::Exporter(const std::string& pluginPath)
    : plugin_(pluginPath), extension_(learnExtension()) {}

std::string Exporter::overrunMessage() const {
  return "exporthost: " + quotedName(plugin_.path()) + ": wrote past the 5-byte extension buffer\n";
}

std::string Exporter::learnExtension() const {
  const std::string cannot = quotedName(plugin_.path()) + ": cannot learn its extension: ";
  try {
    const ScratchFolder scratch;
    const ExtensionBuffer buffer;
    buffer.fill(kUnwritten);
    // Not empty: a plug-in may rightly refuse an empty program.
    constexpr char kTrialBlock[] = "exporthost trial save\n";
    const std::string trialName = scratch / "trial";
    int result = 0;
    std::string cause;
    {
      const FaultReport report(overrunMessage());
      clearFailureCause();
      result = plugin_.savePrgmFile(kTrialBlock, sizeof kTrialBlock - 1, trialName.c_str(),
                                    buffer.get());
      cause = failureCause();
    }
    if (result != 1) {
      throw ExportError(cannot + "a trial save to " + quotedName(trialName) + " gave result " +
                        std::to_string(result) + withCause(cause) + ", expected 1");
    }
    const auto extension = buffer.text();
    if (!extension) {
      throw ExportError(quotedName(plugin_.path()) +
                        ": its extension does not end within the 5-byte extension buffer");
    }
    return *extension;
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
  buffer.fill(kUnwritten);
  int result = 0;
  std::string cause;
  {
    FaultReport report(overrunMessage());
    // A mapped input cut short under the plug-in faults where its pages were.
    report.watch(block.data(), block.size(),
                 "exporthost: " + std::string(InputError::changed(block.path()).what()) + "\n");
    clearFailureCause();
    result = plugin_.savePrgmFile(block.data(), block.size(), baseName.c_str(), buffer.get());
    cause = failureCause();
  }
  // A failed write's cause would mislead ("Bad address") and a finished one may hold a mix.
  if (block.changed()) {
    throw InputError::changed(block.path());
  }
  const std::string format = displayNameOf(plugin_);
  if (result != 1) {
    throw ExportError(quotedName(output) + ": cannot export as " + format +
                      (cause.empty() ? std::string() : ": " + cause));
  }
  const auto extension = buffer.text();
  if (!extension) {
    throw ExportError(quotedName(plugin_.path()) +
                      ": its extension does not end within the 5-byte extension buffer");
  }
  return quotedName(baseName + *extension) + ": " + std::to_string(block.size()) +
         (block.size() == 1 ? " byte" : " bytes") + " written as " + format;
}

}  // namespace rawout
