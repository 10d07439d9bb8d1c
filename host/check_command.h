// `exporthost check`: every plug-in checked against the host contract, each check in a child
// process of its own, the report printed by exporthost alone.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace rawout {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CheckOptions {
  enum class Format { Text, Tap, Tap13 };

  std::vector<std::string> plugins;
  bool about = false;
  std::vector<std::string> only;  // check names; empty for all
  std::vector<std::string> skip;
  std::chrono::milliseconds timeout{std::chrono::seconds(60)};
  Format format = Format::Text;
  std::string junit;  // a file for JUnit XML, or empty
  bool inProcess = false;
};

// Names as given to --only and --skip: "a,b" and repeated options alike. Throws UsageError for a
// name that is no check.
void addCheckNames(std::vector<std::string>& names, const std::string& list);
// Throws UsageError unless `text` is a positive number of seconds.
std::chrono::milliseconds parseTimeout(const std::string& text);

// Prints each check's name and promise, a line each.
void listChecks();

// Runs the checks and prints the report; returns the exit status: 0 when every check passed, 1
// when one failed. Throws UsageError, and std::runtime_error for exporthost's own trouble.
int runChecks(const CheckOptions& options);

// The check process: `arguments` are the check, the plug-in's full path and the folder to work
// in, as runChecks gives them. Returns its exit status.
int runCheckProcessMain(const std::vector<std::string>& arguments);
inline constexpr char kCheckProcessMode[] = "--check-process";

}  // namespace rawout
