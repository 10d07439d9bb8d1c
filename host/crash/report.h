// A fault or a hang in words an author can act on: what it was, where it struck and what lies
// there, and the calls that led there.
#pragma once

#include <string>
#include <vector>

#include "crash/crash_record.h"
#include "crash/inspection.h"

namespace rawout {

// The most calls shown for a thread.
inline constexpr std::size_t kMostFrames = 16;

// A fault in words: what it was, what it touched and where ("segmentation fault (SIGSEGV): a
// write to 0x8, where nothing is mapped, at crash.so+0x1139 deeper (crash.c:12)"), and the calls
// that led there, innermost first ("#0 crash.so+0x1139 deeper (crash.c:12), #1 ..."), "" when
// none could be read. `lies` is what lies at the address, as whatLiesAt says it, for an address
// the host lent nothing at.
struct FaultReport {
  std::string summary;
  std::string calls;
};
FaultReport crashReport(const CrashRecord& record, const std::vector<Frame>& frames,
                        const std::string& lies);

// Where each thread in `plugin`'s frames was: its name ("thread 1234") and its calls, as
// crashReport gives them; the threads in none of its frames are left out.
struct ThreadReport {
  std::string thread;
  std::string calls;
};
std::vector<ThreadReport> hangReport(const std::vector<ThreadFrames>& threads,
                                     const std::string& plugin);

// "crash.so+0x1139 deeper (crash.c:12)"; without source "crash.so+0x1139 SavePrgmFile+0x29",
// or "crash.so+0x1139 nearest About+0x3a4" where no symbol covers the address.
std::string frameText(const Frame& frame);

}  // namespace rawout
