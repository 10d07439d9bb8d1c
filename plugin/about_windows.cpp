#include <windows.h>

#include <rawout/export_plugin.h>

#include "identity.h"

extern "C" int RAWOUT_CALL About() noexcept {
  // No owner window: the host's windows stay usable while the box is up.
  const int pressed = ::MessageBoxA(nullptr, rawout::kAboutText, rawout::kAboutCaption, MB_OK);
  // Zero or below (wine answers -1 without a display) means the box could not be shown.
  return pressed > 0 ? pressed : 0;
}
