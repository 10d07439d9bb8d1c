// How exporthost ends: its exit statuses, as its manual page lists them, and the usage error.
#pragma once

#include <stdexcept>

namespace rawout {

inline constexpr int kExitSuccess = 0;
// An export, load, read or check failed, or the about box could not be shown.
inline constexpr int kExitFailure = 1;
// The command line was wrong.
inline constexpr int kExitUsage = 2;
// exporthost's own trouble, nothing said of the plug-in: no scratch folder, no display for
// --about, a check process that could not start. The same status as a usage error, as GNU tools
// use it for both.
inline constexpr int kExitTrouble = 2;

// A command line exporthost cannot take: reported with a pointer to --help and kExitUsage.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace rawout
