#include "inspect/display.h"

namespace rawout {

// Every Windows session has a desktop.
std::string whyNoDisplay() { return {}; }

}  // namespace rawout
