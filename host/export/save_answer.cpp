#include "export/save_answer.h"

#include <cstring>

#include "export/export_error.h"
#include "text/quoted_name.h"

namespace rawout {

namespace {

// The first byte of an answer.
constexpr char kResult = 'R';
constexpr char kFault = 'F';
constexpr std::size_t kResultBytes = 1 + sizeof(int) + ExtensionBuffer::kBytes;
// Ends a result, so that a reader can tell it whole while the process runs on; no cause in the
// system's words holds one.
constexpr char kEnd = '\0';

}  // namespace

bool isWholeResult(const std::string& answer) {
  return answer.size() > kResultBytes && answer.front() == kResult && answer.back() == kEnd;
}

std::string resultAnswer(const ExportPlugin& plugin, const ExportPlugin::SaveOutcome& outcome,
                         const ExtensionBuffer& buffer) {
  if (const std::string broken = plugin.brokenConvention(); !broken.empty()) {
    return faultAnswer(quotedName(plugin.path()) + ": " + broken + "; nothing was exported");
  }
  std::string answer(1, kResult);
  answer.append(reinterpret_cast<const char*>(&outcome.result), sizeof outcome.result);
  answer.append(buffer.get(), ExtensionBuffer::kBytes);
  return answer + outcome.cause + kEnd;
}

std::string faultAnswer(const std::string& message) { return kFault + message; }

ExportPlugin::SaveOutcome readAnswer(const std::string& answer, bool endedWell,
                                     const std::string& how, ExportPlugin& plugin,
                                     ExtensionBuffer& buffer) {
  if (!answer.empty() && answer.front() == kFault) {
    throw ExportError(answer.substr(1));
  }
  const bool answered = isWholeResult(answer);
  if (answered && !endedWell) {
    // The process does nothing after its answer but unload the plug-in; here it would end
    // exporthost the same way.
    plugin.leaveLoaded();
    throw UnloadFailed(quotedName(plugin.path()) + ": saved, but ended the process as it was " +
                       "unloaded (" + how + "); nothing was exported");
  }
  if (!answered || !endedWell) {
    throw ExportError(quotedName(plugin.path()) + ": ended the process during the save (" + how +
                      "); nothing was exported");
  }
  ExportPlugin::SaveOutcome outcome{0,
                                    answer.substr(kResultBytes, answer.size() - kResultBytes - 1)};
  std::memcpy(&outcome.result, answer.data() + 1, sizeof outcome.result);
  std::memcpy(buffer.get(), answer.data() + 1 + sizeof(int), ExtensionBuffer::kBytes);
  return outcome;
}

}  // namespace rawout
