// exporthost's command line, read whole before any command runs.
#pragma once

#include <string>
#include <vector>

#include "runner/check_options.h"

namespace rawout {

struct Arguments {
  std::vector<std::string> operands;  // the command first
  std::vector<std::string> plugins;
  bool help = false;
  bool version = false;
  std::string error;  // the first usage error, reported unless --help was given
  CheckOptions check;
  bool list = false;
  std::string checkOnlyOption;  // the first option given that only the check command takes
  bool seedOrRepeat = false;    // random rounds asked for
  bool maxSize = false;
  std::string writeBlocks;  // a folder to write the content blocks to, instead of checking
};

Arguments parseArguments(int argc, char** argv);

}  // namespace rawout
