// The check process's side: one check on a freshly loaded plug-in, its verdict left in the
// check's folder for exporthost to read.
#pragma once

#include <string>
#include <vector>

namespace rawout {

// `arguments` are the check, the plug-in's full path, the check's folder, the content rule's
// word, the random rounds' word, the reference command (or "") and the check's time limit in
// milliseconds, as exporthost gives them after kCheckProcessMode. Returns the process's exit
// status.
int runCheckProcessMain(const std::vector<std::string>& arguments);

}  // namespace rawout
