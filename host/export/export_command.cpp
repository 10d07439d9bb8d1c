#include "export/export_command.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "export/base_name.h"
#include "export/guarded_save.h"
#include "export/output_staging.h"
#include "export/plugin_aside.h"
#include "files/file_identity.h"
#include "files/scratch_folder.h"
#include "memory/extension_buffer.h"
#include "process/interruptible.h"
#include "text/printable.h"
#include "text/quoted_name.h"

namespace rawout {

namespace {

std::string withCause(const std::string& cause) { return cause.empty() ? "" : " (" + cause + ")"; }

}  // namespace

Exporter::Exporter(const std::string& pluginPath) {
  try {
    loadingFolder_.emplace();
  } catch (const ScratchFolderError& error) {
    throw ExportError(quotedName(pluginPath) + ": cannot load it: " + error.what());
  }
  loadAside(plugin_, pluginPath, loadingFolder_->path());
  extension_ = learnExtension();
}

std::string Exporter::reportedExtension(const ExtensionBuffer& buffer) const {
  const auto extension = buffer.text();
  if (!extension) {
    throw ExportError(quotedName(plugin_->path()) + ": its extension does not end within " +
                      ExtensionBuffer::described());
  }
  return *extension;
}

std::string Exporter::learnExtension() {
  const std::string cannot = quotedName(plugin_->path()) + ": cannot learn its extension: ";
  try {
    const ScratchFolder scratch;
    ExtensionBuffer buffer;
    // Not empty: a plug-in may rightly refuse an empty program.
    constexpr char kTrialBlock[] = "exporthost trial save\n";
    const std::string trialName = scratch / "trial";
    const auto trial =
        guardedSave(*plugin_, kTrialBlock, sizeof kTrialBlock - 1, trialName, buffer, nullptr);
    if (trial.result != 1) {
      throw ExportError(cannot + "a trial save to " + quotedName(trialName) + " gave result " +
                        std::to_string(trial.result) + withCause(trial.cause) + ", expected 1");
    }
    return reportedExtension(buffer);
  } catch (const ScratchFolderError& error) {
    throw ExportError(cannot + error.what());
  }
}

Exported Exporter::save(const InputBlock& block, const std::string& baseName) {
  const std::string format = printable(displayNameOf(*plugin_));
  const auto cannotExport = [&format](const std::string& output, const std::string& cause) {
    return ExportError(quotedName(output) + ": cannot export as " + format +
                       (cause.empty() ? std::string() : ": " + cause));
  };
  // Said before anything is written, for the extension the plug-in gave before.
  if (block.file() && identityOf(baseName + extension_) == block.file()) {
    throw ExportError(quotedName(baseName + extension_) +
                      ": is the input file; give another BASENAME");
  }
  std::optional<OutputStaging> staging;
  try {
    staging.emplace(baseName);
  } catch (const std::runtime_error& error) {
    throw cannotExport(baseName + extension_, error.what());
  }
  ExtensionBuffer buffer;
  const auto saved =
      guardedSave(*plugin_, block.data(), block.size(), staging->baseName(), buffer, &block);
  // A failed write's cause would mislead ("Bad address") and a finished one may hold a mix.
  if (block.changed()) {
    throw InputError::changed(block.path());
  }
  if (saved.result != 1) {
    throw cannotExport(baseName + extension_, saved.cause);
  }
  // The plug-in may name its file otherwise this time: the input is guarded whatever it says.
  const std::string output = baseName + reportedExtension(buffer);
  if (block.file() && identityOf(output) == block.file()) {
    throw ExportError(quotedName(output) + ": is the input file; give another BASENAME");
  }
  try {
    staging->moveIntoPlace(reportedExtension(buffer), output);
  } catch (const ExportError& error) {
    throw cannotExport(output, error.what());
  }
  if (block.changed()) {
    throw InputError::changed(block.path());
  }
  std::error_code noSize;  // a device or a FIFO
  const std::uintmax_t size = std::filesystem::file_size(output, noSize);
  return {output, block.size(), format, noSize ? std::nullopt : std::optional(size)};
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
  // From here on a stop signal ends the save, and the export's folders go, before exporthost
  // ends as the signal would have ended it.
  const Interruptible interruptible;
  Exporter exporter(pluginPath);
  return exporter.save(block, output);
}

}  // namespace rawout
