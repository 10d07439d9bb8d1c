#include "crash/report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "text/joined.h"

namespace rawout {

namespace {

std::string hex(std::uint64_t value) {
  char text[24];
  (void)std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string callsText(const std::vector<Frame>& frames) {
  std::vector<std::string> each;
  for (std::size_t index = 0; index < frames.size() && !frames[index].host; ++index) {
    each.push_back("#" + std::to_string(index) + " " + frameText(frames[index]));
  }
  return joined(each, ", ");
}

}  // namespace

std::string frameText(const Frame& frame) {
  std::string text =
      frame.module.empty() ? hex(frame.offset) : frame.module + "+" + hex(frame.offset);
  if (!frame.function.empty()) {
    text += (frame.nearest ? " nearest " : " ") + frame.function;
    if (frame.file.empty()) {
      text += "+" + hex(frame.functionOffset);
    }
  }
  if (!frame.file.empty()) {
    text += " (" + frame.file + ":" + std::to_string(frame.line) + ")";
  }
  return text;
}

FaultReport crashReport(const CrashRecord& record, const std::vector<Frame>& frames,
                        const std::string& lies) {
  std::string summary = faultKind(record);
  if (record.detail <= 0) {
    // Sent (raise, kill), not raised by an instruction: no address was touched.
    summary += ", sent by a call such as raise or kill, not a fault of an instruction";
  } else if (record.access != '?') {
    const std::string access = record.access == 'w'   ? "a write to "
                               : record.access == 'x' ? "an execute at "
                                                      : "a read of ";
    const std::string lent(record.lent, ::strnlen(record.lent, sizeof record.lent));
    summary += ": " + access + hex(record.address) + ", " +
               (!lent.empty()              ? "in " + lent
                : lies == "nothing mapped" ? std::string("where nothing is mapped")
                                           : "in " + lies);
  }
  summary += ", at " + (frames.empty() ? hex(record.pc) : frameText(frames.front()));
  return {summary, callsText(frames)};
}

std::vector<ThreadReport> hangReport(const std::vector<ThreadFrames>& threads,
                                     const std::string& plugin) {
  std::vector<ThreadReport> each;
  for (const ThreadFrames& thread : threads) {
    const bool inPlugin =
        std::any_of(thread.frames.begin(), thread.frames.end(),
                    [&plugin](const Frame& frame) { return frame.module == plugin; });
    if (inPlugin) {
      each.push_back({"thread " + std::to_string(thread.thread), callsText(thread.frames)});
    }
  }
  return each;
}

}  // namespace rawout
