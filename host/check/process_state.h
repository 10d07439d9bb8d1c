// What a plug-in call must leave as it found it in the host's process.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace rawout {

// What a host relies on in its own process, fact by fact: "SIGPIPE handling" -> "default",
// "RLIMIT_NOFILE" -> "1024 524288", "descriptor 2" -> "device 22 inode 5", ...
using ProcessState = std::map<std::string, std::string>;

ProcessState currentProcessState();

// How this process still holds the file at `path` open ("descriptor 7"), or "" when it does not.
std::string heldOpen(const std::string& path);

// What the calls between the snapshots changed, each as "what seen, expected what". Settings
// (signal handling, limits, folder, locale, ...) must be as `before` had them. Resources
// (descriptors, handles, threads, children) may be set up once, by the first round of calls, but
// must not change in the second round, nor lose anything the process held before.
std::vector<std::string> changesOverCalls(const ProcessState& before, const ProcessState& between,
                                          const ProcessState& after);

}  // namespace rawout
