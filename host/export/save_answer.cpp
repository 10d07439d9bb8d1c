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

}  // namespace

std::string resultAnswer(const ExportPlugin& plugin, const ExportPlugin::SaveOutcome& outcome,
                         const ExtensionBuffer& buffer) {
  if (const std::string broken = plugin.brokenConvention(); !broken.empty()) {
    return faultAnswer(quotedName(plugin.path()) + ": " + broken + "; nothing was exported");
  }
  std::string answer(1, kResult);
  answer.append(reinterpret_cast<const char*>(&outcome.result), sizeof outcome.result);
  answer.append(buffer.get(), ExtensionBuffer::kBytes);
  return answer + outcome.cause;
}

std::string faultAnswer(const std::string& message) { return kFault + message; }

ExportPlugin::SaveOutcome readAnswer(const std::string& answer, bool endedWell,
                                     const std::string& how, const ExportPlugin& plugin,
                                     ExtensionBuffer& buffer) {
  if (!answer.empty() && answer.front() == kFault) {
    throw ExportError(answer.substr(1));
  }
  if (answer.size() < kResultBytes || answer.front() != kResult || !endedWell) {
    throw ExportError(quotedName(plugin.path()) + ": ended the process during the save (" + how +
                      "); nothing was exported");
  }
  ExportPlugin::SaveOutcome outcome{0, answer.substr(kResultBytes)};
  std::memcpy(&outcome.result, answer.data() + 1, sizeof outcome.result);
  std::memcpy(buffer.get(), answer.data() + 1 + sizeof(int), ExtensionBuffer::kBytes);
  return outcome;
}

}  // namespace rawout
