// What can go wrong in an export, apart from loading the plug-in and reading INPUT.
#pragma once

#include <stdexcept>

namespace rawout {

class ExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The plug-in saved, but its unload did not end in time or ended the save's process (a DllMain or
// a destructor that hangs or crashes as the module goes): the module is left loaded, and
// exporthost must end without unloading it.
class UnloadFailed : public ExportError {
 public:
  using ExportError::ExportError;
};

// BASENAME breaks its rules: the caller's mistake, found before anything is read or loaded.
class BaseNameError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace rawout
