// Loading a plug-in for an export, away from the user's folder.
#pragma once

#include <optional>
#include <string>

#include "loader/plugin_loader.h"

namespace rawout {

// Loads the module at `path` into `plugin` with `folder` as the working folder, then goes back
// to the one before: a file its load-time code makes (a DllMain's, a constructor's) lands there,
// never beside the user's files. Throws LoadError as ExportPlugin does, and ExportError when the
// working folder cannot be left or found again.
void loadAside(std::optional<ExportPlugin>& plugin, const std::string& path,
               const std::string& folder);

}  // namespace rawout
