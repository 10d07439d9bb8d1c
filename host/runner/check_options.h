// What `exporthost check` is asked to do: the plug-ins, the checks, and how to report them.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "checks/blocks.h"
#include "report/report.h"
#include "runner/protocol.h"

namespace rawout {

struct CheckOptions {
  std::vector<std::string> plugins;
  bool about = false;
  std::vector<std::string> only;  // check names; empty for all
  std::vector<std::string> skip;
  std::chrono::milliseconds timeout{std::chrono::seconds(60)};
  ReportFormat format = ReportFormat::Text;
  std::string junit;  // a file for JUnit XML, or empty
  bool inProcess = false;
  bool strict = false;  // a skipped check fails the run
  std::string keep;     // a folder for the files of each check that fails, or empty
  ContentRule content = ContentRule::Undeclared;
  std::string reference;     // the command, for ContentRule::Reference
  std::string referenceDir;  // or the folder that holds what it wrote: NAME.expected
  RandomRounds random{};
  unsigned jobs = 1;  // check processes at once
};

}  // namespace rawout
