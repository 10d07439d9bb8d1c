// One save by the plug-in during an export, guarded: a write past the extension buffer, or a
// fault in the mapped input, becomes an error that says what happened. On Linux the save runs in
// a child process, so that a plug-in that ends or crashes the process ends that one alone.
#pragma once

#include <cstdint>
#include <string>

#include "export/input_block.h"
#include "loader/extension_buffer.h"
#include "loader/plugin_loader.h"

namespace rawout {

// Throws ExportError (or InputError, for an input changed under the save) saying what happened
// when the save did not end with a result: a fault, or the plug-in ending the process.
ExportPlugin::SaveOutcome guardedSave(const ExportPlugin& plugin, const void* data,
                                      std::uint32_t size, const std::string& baseName,
                                      const ExtensionBuffer& buffer, const InputBlock* input);

}  // namespace rawout
