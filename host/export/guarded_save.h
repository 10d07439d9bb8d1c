// One save by the plug-in during an export, guarded: a write past the extension buffer, or a
// fault in the mapped input, becomes an error that says what happened. The save runs in a child
// process (forked on Linux, a copy of exporthost on Windows), so that a plug-in that ends or
// crashes the process ends that one alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/input_block.h"
#include "loader/extension_buffer.h"
#include "loader/plugin_loader.h"

namespace rawout {

// Throws ExportError saying what happened when the save did not end with a result: a write past
// the buffer, a fault at an input that changed under the save (worded as InputError words it),
// or the plug-in ending the process.
ExportPlugin::SaveOutcome guardedSave(const ExportPlugin& plugin, const void* data,
                                      std::uint32_t size, const std::string& baseName,
                                      const ExtensionBuffer& buffer, const InputBlock* input);

#ifdef _WIN32
// The first argument that makes exporthost the save's process; the plug-in's path, the handle of
// the shared block and its size, the base name and the file for the answer follow.
inline constexpr char kSaveProcessMode[] = "--save-process";
int runSaveProcessMain(const std::vector<std::string>& arguments);
#endif

}  // namespace rawout
