#include "export/output_staging.h"

#include "export/export_error.h"
#include "text/paths.h"
#include "text/quoted_name.h"

namespace rawout {

OutputStaging::OutputStaging(const std::string& baseName) : fileName_(lastComponent(baseName)) {
  try {
    folder_.emplace(folderPart(baseName), ".exporthost-");
  } catch (const ScratchFolderError& error) {
    if (error.parentMissing()) {
      std::string folder = folderPart(baseName);
      folder = folder.empty() ? "." : folder.substr(0, folder.size() - 1);
      throw ExportError("there is no folder " + quotedName(folder) + " (" + error.cause() + ")");
    }
    // The folder takes no new file: the save goes to a scratch folder instead.
    whyNotBeside_ = error.cause();
    folder_.emplace();
  }
}

}  // namespace rawout
