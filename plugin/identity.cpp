#include "identity.h"

#include <rawout/export_plugin.h>

extern "C" const char* GetPluginDescription() noexcept { return rawout::kDisplayName; }
