#include "export/output_staging.h"

#include "support/paths.h"

namespace rawout {

OutputStaging::~OutputStaging() {
  if (!folder_.empty()) {
    (void)removeTree(folder_);
  }
}

void OutputStaging::stageElsewhere(const std::string& baseName, std::string whyNotBeside) {
  whyNotBeside_ = std::move(whyNotBeside);
  elsewhere_.emplace();
  stagedBaseName_ = *elsewhere_ / lastComponent(baseName);
}

}  // namespace rawout
