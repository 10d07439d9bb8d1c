// A command line exporthost cannot take: reported with a pointer to --help and exit status 2.
#pragma once

#include <stdexcept>

namespace rawout {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace rawout
