// `exporthost export`: a program's bytes through a plug-in, never over the file they came from.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "export/export_error.h"
#include "export/input_block.h"
#include "files/scratch_folder.h"
#include "loader/plugin_loader.h"
#include "memory/extension_buffer.h"

namespace rawout {

// What an export wrote.
struct Exported {
  std::string output;  // BASENAME plus the plug-in's extension
  std::uint32_t bytes = 0;
  std::string format;                      // the plug-in's display name
  std::optional<std::uintmax_t> fileSize;  // what the output holds, where it has a size
};

// The base name to write: `given`, or INPUT without its last extension. Throws BaseNameError
// when there is none to write (standard input without BASENAME, an empty one, one naming a
// folder).
std::string chooseBaseName(const std::string& input, const std::optional<std::string>& given);

// The whole export, in the order that costs least when something is wrong: BASENAME's rules,
// then INPUT ("-" for standard input), then the plug-in. Throws BaseNameError, InputError,
// LoadError and ExportError (UnloadFailed among them), each saying why, and Interrupted, once all
// it made is gone, when a stop signal came (Interruptible::endAsAsked() then ends exporthost).
Exported exportProgram(const std::string& pluginPath, const std::string& input,
                       const std::optional<std::string>& baseName);

// A loaded plug-in together with the extension it appends, learnt once from a save of a small
// block into a private scratch folder.
class Exporter {
 public:
  // Loads the module with a scratch folder for its working folder (loadAside). Throws LoadError
  // when it cannot be loaded, and ExportError saying why when its extension cannot be learnt.
  explicit Exporter(const std::string& pluginPath);

  // Saves `block` under `baseName`: the plug-in saves into a private folder beside the output,
  // and exporthost moves its file into place. So an output that is the input is refused with the
  // input intact, whatever extension the plug-in gives, and a failed export leaves an existing
  // output as it was. Throws ExportError, and InputError when the input changed meanwhile.
  [[nodiscard]] Exported save(const InputBlock& block, const std::string& baseName);

 private:
  [[nodiscard]] std::string learnExtension();
  // What the plug-in stored in `buffer`; throws ExportError when it left no terminator.
  [[nodiscard]] std::string reportedExtension(const ExtensionBuffer& buffer) const;

  // The working folder while the module loads, kept until it is unloaded: what its load-time
  // code left there goes with it.
  std::optional<ScratchFolder> loadingFolder_;
  std::optional<ExportPlugin> plugin_;  // always loaded once constructed
  std::string extension_;
};

}  // namespace rawout
