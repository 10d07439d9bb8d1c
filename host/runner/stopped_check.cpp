#include "runner/stopped_check.h"

#include <cstring>

#include "crash/report.h"
#include "files/files.h"

namespace rawout {

std::optional<CrashRecord> crashRecordIn(const std::string& path) {
  const auto bytes = fileContent(path);
  CrashRecord record;
  if (!bytes || bytes->size() < sizeof record) {
    return std::nullopt;
  }
  std::memcpy(&record, bytes->data(), sizeof record);
  return record.whole == CrashRecord::kWhole ? std::optional(record) : std::nullopt;
}

void readFault(StoppedProcess process, const CrashRecord& record, ProcessEnd& end) {
  FaultReport report = crashReport(record, crashFrames(process, record, kMostFrames),
                                   whatLiesAt(process, record.address));
  end.fault = std::move(report.summary);
  if (!report.calls.empty()) {
    end.details.push_back({"calls", std::move(report.calls)});
  }
}

void readThreads(StoppedProcess process, const std::string& plugin, ProcessEnd& end) {
  for (ThreadReport& thread : hangReport(threadFrames(process, kMostFrames), plugin)) {
    end.details.push_back({std::move(thread.thread), std::move(thread.calls)});
  }
}

}  // namespace rawout
