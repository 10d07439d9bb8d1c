// Where the plug-in saves during an export: a private folder beside the output, so that nothing
// it writes can reach an existing file, the input among them, before exporthost has looked at
// what it wrote. exporthost then moves the file into place.
#pragma once

#include <optional>
#include <string>

#include "files/scratch_folder.h"

namespace rawout {

class OutputStaging {
 public:
  // A private folder in the folder of `baseName`; when that folder takes no new file, a scratch
  // folder elsewhere, and the output can then only replace the contents of an existing file.
  // Throws ExportError with the system's words when the folder of `baseName` cannot be used at
  // all (it does not exist), and ScratchFolderError when no scratch folder can be had either.
  explicit OutputStaging(const std::string& baseName);
  ~OutputStaging() = default;
  OutputStaging(const OutputStaging&) = delete;
  OutputStaging& operator=(const OutputStaging&) = delete;

  // The base name to hand the plug-in.
  [[nodiscard]] std::string baseName() const { return *folder_ / fileName_; }

  // Puts what the plug-in saved as baseName() + `extension` in place as `output`. A plain file
  // is replaced whole, keeping its mode; a link stays a link, its target replaced beside it; a
  // file with other names, a device or a FIFO keeps what it is and gets the bytes written into
  // it (a file only once the room for them is reserved), as binutils does with its outputs. An
  // output this user may not write is refused. Throws ExportError with the system's words.
  void moveIntoPlace(const std::string& extension, const std::string& output) const;

 private:
  // Whether the staging folder lies beside the output, so that a rename puts the file in place.
  [[nodiscard]] bool beside() const { return whyNotBeside_.empty(); }

  std::optional<ScratchFolder> folder_;  // beside the output, or a scratch folder elsewhere
  std::string whyNotBeside_;             // why not beside; empty when it is
  std::string fileName_;                 // the last component of the base name
};

}  // namespace rawout
