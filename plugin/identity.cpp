#include "identity.h"

#include <rawout/export_plugin.h>

extern "C" const char* RAWOUT_CALL GetPluginDescription() noexcept { return rawout::kDisplayName; }
