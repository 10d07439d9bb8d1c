// What can go wrong in an export, apart from loading the plug-in and reading INPUT.
#pragma once

#include <stdexcept>

namespace rawout {

class ExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// BASENAME breaks its rules: the caller's mistake, found before anything is read or loaded.
class BaseNameError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace rawout
