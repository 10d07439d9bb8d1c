// For a process that runs a plug-in for exporthost: a crash there ends it at once, with no core
// file or crash dialog (nor, under wine, a debugger), so exporthost can say how it ended.
#pragma once

namespace rawout {

// On Windows the exception's code becomes the exit status.
void crashQuietly();

}  // namespace rawout
