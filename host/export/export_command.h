// `exporthost export`: a program's bytes through a plug-in, never over the file they came from.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "export/input_block.h"
#include "loader/extension_buffer.h"
#include "loader/plugin_loader.h"

namespace rawout {

class ExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// BASENAME breaks its rules: the caller's mistake, found before anything is read or loaded.
class BaseNameError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What an export wrote.
struct Exported {
  std::string output;  // BASENAME plus the plug-in's extension
  std::uint32_t bytes = 0;
  std::string format;  // the plug-in's display name
};

// The base name to write: `given`, or INPUT without its last extension. Throws BaseNameError
// when there is none to write (standard input without BASENAME, an empty one, one naming a
// folder).
std::string chooseBaseName(const std::string& input, const std::optional<std::string>& given);

// The whole export, in the order that costs least when something is wrong: BASENAME's rules,
// then INPUT ("-" for standard input), then the plug-in. Throws BaseNameError, InputError,
// LoadError and ExportError, each saying why.
Exported exportProgram(const std::string& pluginPath, const std::string& input,
                       const std::optional<std::string>& baseName);

// A loaded plug-in together with the extension it appends, learnt once from a save of a small
// block into a private scratch folder.
class Exporter {
 public:
  // Throws LoadError when the module cannot be loaded, and ExportError saying why when its
  // extension cannot be learnt.
  explicit Exporter(const std::string& pluginPath);

  // Saves `block` under `baseName`. Refuses, before anything is written, when the output would be
  // the file the block was read from: the save truncates its output first, so one failed write
  // would lose both. Throws ExportError.
  [[nodiscard]] Exported save(const InputBlock& block, const std::string& baseName) const;

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
