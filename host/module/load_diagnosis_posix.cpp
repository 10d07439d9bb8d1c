// The dynamic loader names a library it cannot find in its own words ("libfoo.so.1: cannot open
// shared object file: ..."); the library comes from there.
#include <regex>

#include "module/load_diagnosis.h"

namespace rawout {

std::vector<std::string> missingLibraries(const ModuleFile& /*module*/, const std::string& /*path*/,
                                          const std::string& systemWords) {
  static const std::regex kCannotOpen("([^ :]+): cannot open shared object file");
  std::smatch found;
  if (std::regex_search(systemWords, found, kCannotOpen)) {
    return {found[1].str()};
  }
  return {};
}

std::vector<std::string> foreignLibraries(const ModuleFile& /*module*/) { return {}; }

}  // namespace rawout
