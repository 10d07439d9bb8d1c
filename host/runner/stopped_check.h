// What exporthost reads of a check process that waits, stopped, as it faulted or ran out of time:
// the same on every platform, once the platform has it stopped.
#pragma once

#include <optional>
#include <string>

#include "crash/crash_record.h"
#include "crash/inspection.h"
#include "runner/parent_spawn.h"

namespace rawout {

// The record a faulting check process left in `path`, whole; none for a process that did not
// fault, or a record cut short.
std::optional<CrashRecord> crashRecordIn(const std::string& path);

// The fault `record` says, read where it struck: into `end`'s fault and its calls.
void readFault(StoppedProcess process, const CrashRecord& record, ProcessEnd& end);

// Where each thread in `plugin`'s frames was: a detail each, into `end`.
void readThreads(StoppedProcess process, const std::string& plugin, ProcessEnd& end);

}  // namespace rawout
