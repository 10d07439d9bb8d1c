#include <cstdlib>

#include "inspect/display.h"

namespace rawout {

std::string whyNoDisplay() {
  const auto isSet = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY")
             ? ""
             : "neither DISPLAY nor WAYLAND_DISPLAY is set";
}

}  // namespace rawout
