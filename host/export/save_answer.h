// What the save's process tells exporthost, on both platforms: a result with the extension buffer
// and the cause, or the message of a fault it caught.
#pragma once

#include <string>

#include "loader/plugin_loader.h"
#include "memory/extension_buffer.h"

namespace rawout {

// The answer for a save that returned: its result, or the fault of a save that broke the calling
// convention, which nothing after it can trust.
std::string resultAnswer(const ExportPlugin& plugin, const ExportPlugin::SaveOutcome& outcome,
                         const ExtensionBuffer& buffer);
// Whether `answer`, as read so far, is a result written whole.
bool isWholeResult(const std::string& answer);
// The answer for a fault: the text of the error exporthost reports.
std::string faultAnswer(const std::string& message);

// The save's outcome, with the plug-in's extension bytes put into `buffer`. `endedWell` says the
// process exited with status 0; `how` says how it ended otherwise. Throws ExportError with the
// fault's message, or saying that the plug-in ended the process; UnloadFailed, the plug-in left
// loaded, when the process ended so after its answer, as it unloaded the plug-in.
ExportPlugin::SaveOutcome readAnswer(const std::string& answer, bool endedWell,
                                     const std::string& how, ExportPlugin& plugin,
                                     ExtensionBuffer& buffer);

}  // namespace rawout
