// One save by the plug-in during an export, guarded: a write past the extension buffer, or into
// the input, becomes an error that says what happened. The save runs in a child
// process (forked on Linux, a copy of exporthost on Windows), so that a plug-in that ends or
// crashes the process ends that one alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/input_block.h"
#include "loader/plugin_loader.h"
#include "memory/extension_buffer.h"

namespace rawout {

// Throws ExportError saying what happened when the save did not end with a result: a write past
// the buffer, a fault at an input that changed under the save (worded as InputError words it),
// or the plug-in ending the process; UnloadFailed, the plug-in then left loaded, when the save's
// process answered but did not unload it in time, or the unload ended it.
ExportPlugin::SaveOutcome guardedSave(ExportPlugin& plugin, const void* data, std::uint32_t size,
                                      const std::string& baseName, ExtensionBuffer& buffer,
                                      const InputBlock* input);

// Where the save runs in a process started for it (on Windows, which has no fork), exporthost
// started as that process: it saves as `arguments` (argv[1] on) say and gives the exit status.
// None for any other command line, and always on Linux.
std::optional<int> runSaveProcessIfAsked(const std::vector<std::string>& arguments);

}  // namespace rawout
