// The checks of what a plug-in promises besides its files: its entry points and name, its about
// box, and the host's process as the plug-in leaves it.
#include <cstring>

#include "checks/bodies.h"
#include "checks/plugin_calls.h"
#include "inspect/output_capture.h"
#include "inspect/process_state.h"
#include "text/joined.h"
#include "text/printable.h"

namespace rawout {

namespace {

// A description longer than this is taken as having no terminator.
constexpr std::size_t kMaxDescriptionBytes = 1024;

std::string hex(unsigned char byte) { return {kHexDigits[byte >> 4], kHexDigits[byte & 15]}; }

// "23 bytes to standard output, starting "saved x.raw\x0A"".
std::string describeOutput(const std::string& written, const char* stream) {
  constexpr std::size_t kShown = 40;
  return std::to_string(written.size()) + " bytes to " + stream + ", starting \"" +
         printable(written.substr(0, kShown)) + (written.size() > kShown ? "...\"" : "\"");
}

}  // namespace

// Loading is the check: it ran before the plug-in could be called at all.
Verdict loadsWithTheEntryPoints(const CheckContext& /*context*/) { return Verdict::pass(); }

Verdict namesItsFormat(const CheckContext& context) {
  const char* text = context.plugin.description();
  if (text == nullptr) {
    return Verdict::fail("a null address, expected the display name");
  }
  const std::size_t length = ::strnlen(text, kMaxDescriptionBytes);
  if (length == 0) {
    return Verdict::fail("an empty text, expected the display name");
  }
  if (length == kMaxDescriptionBytes) {
    return Verdict::fail("no terminator within " + std::to_string(kMaxDescriptionBytes) + " bytes");
  }
  for (std::size_t index = 0; index < length; ++index) {
    const auto byte = static_cast<unsigned char>(text[index]);
    if (byte < 0x20 || byte == 0x7F) {
      return Verdict::fail("control byte 0x" + hex(byte) + " at " + std::to_string(index) +
                           ", expected printable 8-bit text");
    }
  }
  return Verdict::pass();
}

Verdict keepsItsNameAtOneAddress(const CheckContext& context) {
  const char* first = context.plugin.description();
  const char* fromAnotherThread = nullptr;
  onAnotherThread([&] { fromAnotherThread = context.plugin.description(); });
  const char* again = context.plugin.description();
  if (again != first || fromAnotherThread != first) {
    return Verdict::fail(
        "another address on a later call or another thread, expected the same one");
  }
  return Verdict::pass();
}

Verdict keepsItsNameThroughSaves(const CheckContext& context) {
  const auto text = [&context] {
    const char* now = context.plugin.description();
    return now == nullptr ? std::string() : std::string(now, ::strnlen(now, kMaxDescriptionBytes));
  };
  const std::string before = text();
  typicalSaves(context);
  if (text() != before) {
    return Verdict::fail("the text changed after saves, expected it constant");
  }
  return Verdict::pass();
}

// Settings (signal handling, limits, folder, locale, ...) must be as they were after any call.
// Resources (descriptors, handles, threads, children) must not grow from one round of calls to
// the next: what a runtime sets up once, on its first call, is not a leak.
Verdict leavesTheProcessAsFound(const CheckContext& context) {
  // Whatever the platform sets up on a first thread or file is in place before the snapshot.
  onAnotherThread([] {});
  const ProcessState before = currentProcessState();
  std::string stillOpen;
  const auto calls = [&context, &stillOpen] {
    (void)context.plugin.description();
    stillOpen = typicalSaves(context);
  };
  calls();
  const ProcessState between = currentProcessState();
  calls();
  const ProcessState after = currentProcessState();
  std::vector<std::string> changes = changesOverCalls(before, between, after);
  if (!stillOpen.empty()) {
    changes.push_back(stillOpen);
  }
  return Verdict::failIf(joined(changes, "; "));
}

Verdict writesNothingToTheStreams(const CheckContext& context) {
  OutputCapture capture(context.hostFiles);
  (void)context.plugin.description();
  (void)typicalSaves(context);
  const OutputCapture::Captured written = capture.stop();
  std::vector<std::string> streams;
  if (!written.output.empty()) {
    streams.push_back(describeOutput(written.output, "standard output"));
  }
  if (!written.errors.empty()) {
    streams.push_back(describeOutput(written.errors, "standard error"));
  }
  if (!streams.empty()) {
    return Verdict::fail(joined(streams, "; ") + ", expected none");
  }
  return Verdict::pass();
}

Verdict showsItsAboutBox(const CheckContext& context) {
  const int result = context.plugin.about();
  return result == 1 ? Verdict::pass()
                     : Verdict::fail("result " + std::to_string(result) +
                                     ", expected 1 once the box is dismissed");
}

}  // namespace rawout
