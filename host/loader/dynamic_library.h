// The platform's run-time loading, reduced to what a plug-in host needs.
#pragma once

#include <string>

namespace rawout::detail {

// The separator a path the system gives uses between folders: "\\" on Windows, "/" elsewhere.
const char* folderSeparator();

// Returns null and fills `error` when the module cannot be loaded; `looked` tells whether the
// system's loader looked at the file (not for a folder, or a FIFO it would wait on for ever).
void* openLibrary(const std::string& path, std::string& error, bool& looked);
void* findSymbol(void* library, const char* name);
void closeLibrary(void* library);

}  // namespace rawout::detail
