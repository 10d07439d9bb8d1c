#include "inspect/output_capture.h"

#include <cstdio>
#include <utility>

#include "files/descriptors.h"
#include "files/files.h"
#include "runner/protocol.h"

namespace rawout {

OutputCapture::OutputCapture(std::string folder) : folder_(std::move(folder)) {
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  std::FILE* output = std::fopen((folder_ + "/stdout").c_str(), "wb");
  std::FILE* errors = std::fopen((folder_ + "/stderr").c_str(), "wb");
  if (output == nullptr || errors == nullptr) {
    for (std::FILE* opened : {output, errors}) {
      if (opened != nullptr) {
        (void)std::fclose(opened);
      }
    }
    throw CheckTrouble("cannot make files in " + folder_ + " to hold the plug-in's output");
  }
  savedOutput_ = duplicate(descriptorOf(stdout));
  savedError_ = duplicate(descriptorOf(stderr));
  (void)duplicateOnto(descriptorOf(output), descriptorOf(stdout));
  (void)duplicateOnto(descriptorOf(errors), descriptorOf(stderr));
  (void)std::fclose(output);
  (void)std::fclose(errors);
}

OutputCapture::~OutputCapture() { (void)stop(); }

OutputCapture::Captured OutputCapture::stop() {
  if (savedOutput_ < 0) {
    return {};
  }
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  (void)duplicateOnto(savedOutput_, descriptorOf(stdout));
  (void)duplicateOnto(savedError_, descriptorOf(stderr));
  closeDescriptor(std::exchange(savedOutput_, -1));
  closeDescriptor(std::exchange(savedError_, -1));
  return {fileContent(folder_ + "/stdout").value_or(""),
          fileContent(folder_ + "/stderr").value_or("")};
}

}  // namespace rawout
