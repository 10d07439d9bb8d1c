// The checks of what a plug-in promises besides its files: its entry points and name, its about
// box, and the host's process as the plug-in leaves it.
#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "checks/bodies.h"
#include "checks/plugin_calls.h"
#include "inspect/output_capture.h"
#include "inspect/process_state.h"
#include "module/load_diagnosis.h"
#include "module/module_file.h"
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

namespace {

// What the linker defines in every ELF module, exported unless an export list hides it.
bool linkerDefined(const std::string& name) {
  constexpr std::array<const char*, 6> kDefined = {"_init",  "_fini", "__bss_start",
                                                   "_edata", "_end",  "__end__"};
  return std::any_of(kDefined.begin(), kDefined.end(),
                     [&name](const char* defined) { return name == defined; });
}

// A run path a host's loader may rightly follow: one relative to the module, or a system-wide one.
bool sound(const std::string& runPath) {
  constexpr std::array<const char*, 7> kSound = {
      "$ORIGIN", "${ORIGIN}", "/lib/", "/lib64/", "/usr/lib/", "/usr/lib64/", "/usr/local/lib/"};
  return std::any_of(kSound.begin(), kSound.end(), [&runPath](const char* prefix) {
    return (runPath + "/").starts_with(prefix);
  });
}

// What is wrong with the module file (`failures`), and what is only unwise (`warnings`).
void judgeModule(const ModuleFile& module, std::vector<std::string>& failures,
                 std::vector<std::string>& warnings) {
  if (module.stack == ModuleFile::Stack::Executable) {
    failures.emplace_back(
        "it asks for an executable stack (PT_GNU_STACK with PF_X), which makes every thread stack "
        "of "
        "the host executable: link with -z noexecstack, and mark assembly sources .note.GNU-stack");
  } else if (module.stack == ModuleFile::Stack::Unsaid &&
             module.format == ModuleFile::Format::Elf) {
    failures.emplace_back(
        "it says nothing of its stack (no PT_GNU_STACK), which the loader takes as asking for an "
        "executable one: mark assembly sources .note.GNU-stack, or link with -z noexecstack");
  }
  if (module.textRelocations) {
    failures.emplace_back(
        "it has text relocations (DT_TEXTREL): the loader writes into its code, which a hardened "
        "host refuses; build every object with -fPIC");
  }
  std::vector<std::string> unsound;
  std::copy_if(module.runPaths.begin(), module.runPaths.end(), std::back_inserter(unsound),
               [](const std::string& path) { return !sound(path); });
  if (!unsound.empty()) {
    warnings.push_back("its run path names " + joined(unsound, ", ") +
                       ", neither system-wide nor relative to the module ($ORIGIN): a host on "
                       "another machine looks there in vain");
  }
  if (const std::vector<std::string> foreign = foreignLibraries(module); !foreign.empty()) {
    warnings.push_back("it imports " + joined(foreign, ", ") +
                       ", which are not part of Windows: a host that does not look beside the "
                       "plug-in will not load it; link them statically (-static; "
                       "rawout_add_plugin does) or ship them where the host looks for DLLs");
  }
  if (module.format == ModuleFile::Format::Pe && !module.nxCompatible) {
    warnings.emplace_back("it is not marked NX-compatible (link with --nxcompat)");
  }
  if (module.format == ModuleFile::Format::Pe && !module.dynamicBase) {
    warnings.emplace_back(
        "it cannot be moved in memory, no DYNAMIC_BASE (link with --dynamicbase)");
  }
  std::vector<std::string> extra;
  for (const std::string& name : module.exports) {
    if (name != "SavePrgmFile" && name != "GetPluginDescription" && name != "About" &&
        !linkerDefined(name)) {
      extra.push_back(name);
    }
  }
  if (!extra.empty()) {
    constexpr std::size_t kShown = 8;
    const std::size_t count = extra.size();
    extra.resize(std::min(count, kShown));
    warnings.push_back("it exports " + std::to_string(count) + " name(s) besides the three: " +
                       joined(extra, ", ") + (count > kShown ? ", ..." : "") +
                       " (hide them: -fvisibility=hidden and an export list, as "
                       "rawout_add_plugin gives)");
  }
}

}  // namespace

Verdict buildsACleanModule(const CheckContext& context) {
  std::string why;
  const auto module = readModuleFile(context.plugin.path(), why);
  if (!module) {
    return Verdict::skip("its headers cannot be read: " + why);
  }
  std::vector<std::string> failures;
  std::vector<std::string> warnings;
  judgeModule(*module, failures, warnings);
  if (!failures.empty()) {
    return Verdict::fail(joined(failures, "; ") +
                         (warnings.empty() ? "" : "; and " + joined(warnings, "; ")));
  }
  return warnings.empty() ? Verdict::pass() : Verdict::warn(joined(warnings, "; "));
}

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
  leaveOrphansToTheParent();
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
  adoptOrphans();
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
