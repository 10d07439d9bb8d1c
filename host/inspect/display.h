// Whether an about box can be shown where exporthost runs.
#pragma once

#include <string>

namespace rawout {

// Why no about box can be shown ("neither DISPLAY nor WAYLAND_DISPLAY is set"), or empty.
std::string whyNoDisplay();

}  // namespace rawout
