// `exporthost export`: a program's bytes through a plug-in, never over the file they came from.
#pragma once

#include <stdexcept>
#include <string>

#include "extension_buffer.h"
#include "input_block.h"
#include "plugin_loader.h"

namespace rawout {

class ExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A loaded plug-in together with the extension it appends, learnt once from a save of a small
// block into a private scratch folder.
class Exporter {
 public:
  // Throws LoadError when the module cannot be loaded, and ExportError saying why when its
  // extension cannot be learnt.
  explicit Exporter(const std::string& pluginPath);

  [[nodiscard]] const ExportPlugin& plugin() const { return plugin_; }
  [[nodiscard]] const std::string& extension() const { return extension_; }

  // Saves `block` under `baseName` and returns the line that says what was written. Refuses,
  // before anything is written, when the output would be the file the block was read from: the
  // save truncates its output first, so one failed write would lose both. Throws ExportError.
  [[nodiscard]] std::string save(const InputBlock& block, const std::string& baseName) const;

 private:
  [[nodiscard]] std::string learnExtension() const;
  // A save with the extension buffer guarded and, for `input`, its mapped pages: a fault there
  // ends exporthost with an error that says what happened.
  [[nodiscard]] ExportPlugin::SaveOutcome guardedSave(const void* data, std::uint32_t size,
                                                      const std::string& baseName,
                                                      const ExtensionBuffer& buffer,
                                                      const InputBlock* input) const;
  // What the plug-in stored in `buffer`; throws ExportError when it left no terminator.
  [[nodiscard]] std::string reportedExtension(const ExtensionBuffer& buffer) const;

  ExportPlugin plugin_;
  std::string extension_;
};

}  // namespace rawout
