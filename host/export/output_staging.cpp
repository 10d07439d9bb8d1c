#include "export/output_staging.h"

#include "export/export_error.h"
#include "support/paths.h"

namespace rawout {

OutputStaging::OutputStaging(const std::string& baseName) : fileName_(lastComponent(baseName)) {
  try {
    folder_.emplace(folderPart(baseName), ".exporthost-");
  } catch (const ScratchFolderError& error) {
    if (error.parentMissing()) {
      throw ExportError(error.cause());
    }
    // The folder takes no new file: the save goes to a scratch folder instead.
    whyNotBeside_ = error.cause();
    folder_.emplace();
  }
}

}  // namespace rawout
