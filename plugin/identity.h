// The module's fixed texts, shared by the identity entry point and every about box.
#pragma once

#define RAWOUT_DISPLAY_NAME "Binary File"

namespace rawout {

inline constexpr char kDisplayName[] = RAWOUT_DISPLAY_NAME;

inline constexpr char kAboutCaption[] = "About rawout.dll";

inline constexpr char kAboutText[] = RAWOUT_DISPLAY_NAME
    " export\n"
    "Velmont plugin\n"
    "Copyright (C) 2026 the rawout project\n"
    "Written by the rawout contributors\n"
    "rawout <> export plug-in <> see the README";

}  // namespace rawout
