// Why a host cannot load a module, or finds no entry point in it, said so that its author can act:
// what the module is against what this exporthost is, the libraries it needs that cannot be
// found, and the names it exports instead of the ones a host looks for.
#pragma once

#include <string>
#include <vector>

#include "module/module_file.h"

namespace rawout {

// What to say before the system's own words (`systemWords`) when the module at `path` cannot be
// loaded: "a 32-bit DLL (i386); this exporthost.exe is 64-bit (x86-64): run the 32-bit one from
// its ZIP", "it needs libstdc++-6.dll, which is not found: ...". "" when its headers say nothing
// of why.
std::string whyNotLoadable(const std::string& path, const std::string& systemWords);

// What exporthost is: its own file's headers.
const ModuleFile& thisHost();

// "it has no 'SavePrgmFile'" for each name of `missing`, each with the closest name `module`
// exports and what to change: a near miss, a C++ name ("declare it extern \"C\", as the header
// does"), a stdcall name ("_SavePrgmFile@16").
std::string missingEntryPoints(const std::vector<std::string>& missing,
                               const std::vector<std::string>& exported);

// The libraries `module` (at `path`) needs that cannot be found where the loader looks, named
// from the system's words or by looking; none when none is missing, or none can be told.
std::vector<std::string> missingLibraries(const ModuleFile& module, const std::string& path,
                                          const std::string& systemWords);

// The libraries `module` imports that are not part of the system it runs on (on Windows, DLLs
// other than Windows' own); on Linux, where a module's libraries are the packager's business,
// none.
std::vector<std::string> foreignLibraries(const ModuleFile& module);

}  // namespace rawout
