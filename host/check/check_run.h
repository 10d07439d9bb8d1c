// `exporthost check`: every plug-in checked against the host contract, each check in a child
// process of its own, the report printed by exporthost alone.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "check/checks.h"
#include "check/report.h"

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
  ContentRule content = ContentRule::Undeclared;
  std::string reference;  // the command, for ContentRule::Reference
};

// The checks the options choose, in the registry's order.
std::vector<const Check*> selectedChecks(const CheckOptions& options);

// Prints each check's name and promise, a line each.
void listChecks();

// Runs the checks and prints the report; returns the exit status: 0 when every check passed, 1
// when one failed. Throws std::runtime_error for exporthost's own trouble.
int runChecks(const CheckOptions& options);

}  // namespace rawout
