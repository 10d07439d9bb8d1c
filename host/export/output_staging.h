// Where the plug-in saves during an export: a private folder beside the output, so that nothing
// it writes can reach an existing file, the input among them, before exporthost has looked at
// what it wrote. exporthost then moves the file into place.
#pragma once

#include <optional>
#include <string>

#include "support/scratch_folder.h"

namespace rawout {

class OutputStaging {
 public:
  // A private folder in the folder of `baseName`; when that folder takes no new file, a scratch
  // folder elsewhere, and the output can then only replace the contents of an existing file.
  // Throws ExportError with the system's words when the folder of `baseName` cannot be used at
  // all (it does not exist), and ScratchFolderError when no scratch folder can be had either.
  explicit OutputStaging(const std::string& baseName);
  ~OutputStaging();
  OutputStaging(const OutputStaging&) = delete;
  OutputStaging& operator=(const OutputStaging&) = delete;

  // The base name to hand the plug-in.
  [[nodiscard]] const std::string& baseName() const { return stagedBaseName_; }

  // Puts what the plug-in saved as baseName() + `extension` in place as `output`. A plain file
  // is replaced whole, keeping its mode; a link, a file with other names, a device or a FIFO
  // keeps what it is and gets the bytes written into it, as binutils does with its outputs.
  // Throws ExportError with the system's words.
  void moveIntoPlace(const std::string& extension, const std::string& output) const;

 private:
  // The folder of the output takes no new file, for `whyNotBeside`: the save goes to a scratch
  // folder instead.
  void stageElsewhere(const std::string& baseName, std::string whyNotBeside);

  std::string folder_;  // the private folder beside the output, or empty
  std::optional<ScratchFolder> elsewhere_;
  std::string whyNotBeside_;
  std::string stagedBaseName_;
};

}  // namespace rawout
