// On Windows the save runs in a copy of exporthost started for it alone (Windows has no fork): a
// plug-in that ends or crashes the process ends that one, and exporthost says how. The block
// goes to it in memory shared through an inherited handle, and its answer comes back as a file.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "crash/capture.h"
#include "export/export_error.h"
#include "export/guarded_save.h"
#include "export/plugin_aside.h"
#include "export/save_answer.h"
#include "files/files.h"
#include "files/scratch_folder.h"
#include "files/working_folder.h"
#include "loader/fault_trap.h"
#include "process/interruptible.h"
#include "process/quiet_crash.h"
#include "process/this_program.h"
#include "process/windows_process.h"
#include "text/quoted_name.h"
#include "text/shell_word.h"
#include "text/system_error_text.h"

namespace rawout {

namespace {

// The block in memory the save's process can map: a section backed by the paging file, whose
// handle it inherits.
class SharedBlock {
 public:
  SharedBlock(const void* data, std::uint32_t size) {
    if (size == 0) {
      return;
    }
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    section_ =
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, &inherited, PAGE_READWRITE, 0, size, nullptr);
    void* view =
        section_ != nullptr ? ::MapViewOfFile(section_, FILE_MAP_WRITE, 0, 0, size) : nullptr;
    if (view == nullptr) {
      throw ExportError("cannot share the block with the save: " +
                        describeSystemError(::GetLastError()));
    }
    std::memcpy(view, data, size);
    ::UnmapViewOfFile(view);
  }
  ~SharedBlock() {
    if (section_ != nullptr) {
      ::CloseHandle(section_);
    }
  }
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;
  [[nodiscard]] std::string handle() const {
    return std::to_string(reinterpret_cast<std::uintptr_t>(section_));  // NOLINT: a number to pass
  }

 private:
  HANDLE section_ = nullptr;
};

// The first argument that makes exporthost the save's process; the plug-in's path, the handle of
// the shared block and its size, the base name, the file for the answer and the save's own
// folder follow.
constexpr char kSaveProcessMode[] = "--save-process";
// The save's process could not write its answer, or was started wrongly.
constexpr int kSaveProcessTrouble = 2;
// How long the save's process has, once it has answered, to unload the plug-in and end.
constexpr DWORD kUnloadMilliseconds = 5000;

// Waits for the save's process to end, with a limit from the moment its answer is there: true
// when it answered but did not end within kUnloadMilliseconds of that.
bool answeredButDidNotEnd(const StartedProcess& process, const std::string& answer) {
  constexpr DWORD kLookEvery = 50;
  while (::WaitForSingleObject(process.handle(), kLookEvery) == WAIT_TIMEOUT) {
    if (::GetFileAttributesA(answer.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return ::WaitForSingleObject(process.handle(), kUnloadMilliseconds) == WAIT_TIMEOUT;
    }
  }
  return false;
}

int runSaveProcess(const std::vector<std::string>& arguments) {
  if (arguments.size() != 6) {
    return kSaveProcessTrouble;
  }
  crashQuietly();
  const std::string& answer = arguments[4];
  const std::string& ownFolder = arguments[5];
  const auto size = static_cast<std::uint32_t>(std::stoul(arguments[2]));
  // The handle came as a number on the command line.
  const auto handleValue = static_cast<std::uintptr_t>(std::stoull(arguments[1]));
  auto* const shared = reinterpret_cast<HANDLE>(handleValue);  // NOLINT(performance-no-int-to-ptr)
  const void* block = size == 0 ? nullptr : ::MapViewOfFile(shared, FILE_MAP_READ, 0, 0, size);
  try {
    if (size != 0 && block == nullptr) {
      throw ExportError("cannot see the block: " + describeSystemError(::GetLastError()));
    }
    // The plug-in loads here again: its load-time code, and its temporary files, go to the
    // save's own folder too.
    if (!temporaryFilesInto(ownFolder)) {
      throw ExportError("cannot point TMP and TEMP at " + quotedName(ownFolder) + ": " +
                        describeSystemError(::GetLastError()));
    }
    std::optional<ExportPlugin> loaded;
    loadAside(loaded, arguments[0], ownFolder);
    const ExportPlugin& plugin = *loaded;
    ExtensionBuffer buffer;
    FaultTrap trap(
        faultAnswer(quotedName(plugin.path()) + ": wrote past " + ExtensionBuffer::described()));
    trap.reportInto(answer);
    trap.reportWrites(faultAnswer(quotedName(plugin.path()) + ": "), "");
    if (block != nullptr) {
      trap.watch(block, size,
                 faultAnswer(quotedName(plugin.path()) + ": faulted reading the input"));
    }
    const ExportPlugin::SaveOutcome outcome =
        plugin.saveAsAHost(block, size, arguments[3], buffer.get());
    // The answer comes before the unload, so that exporthost can tell an unload that hangs from
    // a save that takes long; a fault in DllMain as it detaches, which the loader hides, then
    // replaces it, and fails the export before its file is put in place.
    const std::string message = resultAnswer(plugin, outcome, buffer);
    if (!writeFile(answer, message.data(), message.size())) {
      return kSaveProcessTrouble;
    }
    const std::string named = quotedName(plugin.path());
    if (const std::string fault = faultWhileUnloading([&loaded] { loaded.reset(); });
        !fault.empty()) {
      const std::string faulted = faultAnswer(named + ": " + fault + "; nothing was exported");
      return writeFile(answer, faulted.data(), faulted.size()) ? 0 : kSaveProcessTrouble;
    }
    return 0;
  } catch (const std::exception& error) {
    const std::string message = faultAnswer(error.what());
    return writeFile(answer, message.data(), message.size()) ? 0 : kSaveProcessTrouble;
  }
}

}  // namespace

std::optional<int> runSaveProcessIfAsked(const std::vector<std::string>& arguments) {
  if (arguments.empty() || arguments.front() != kSaveProcessMode) {
    return std::nullopt;
  }
  return runSaveProcess(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
}

ExportPlugin::SaveOutcome guardedSave(ExportPlugin& plugin, const void* data, std::uint32_t size,
                                      const std::string& baseName, ExtensionBuffer& buffer,
                                      const InputBlock* /*input*/) {
  const ScratchFolder work;
  const std::string answer = work / "answer";
  const SharedBlock block(data, size);
  std::string commandLine = shellWord(thisProgram());
  for (const std::string& argument : {std::string(kSaveProcessMode), plugin.path(), block.handle(),
                                      std::to_string(size), baseName, answer, work.path()}) {
    commandLine += " " + shellWord(argument);
  }
  // A job holds the save's process and all it starts, so that none outlives the save.
  HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
  if (job != nullptr) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    (void)::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  // The plug-in's output, if any, goes where exporthost's own would. A process may fail to start
  // for a moment (under wine, one that dies while it starts), which says nothing of the plug-in:
  // as with a check process, only a lasting failure ends the export.
  std::optional<StartedProcess> process;
  for (int attempt = 1; !process || !process->started(); ++attempt) {
    process.emplace(nullptr, commandLine, ::GetStdHandle(STD_INPUT_HANDLE),
                    ::GetStdHandle(STD_OUTPUT_HANDLE), ::GetStdHandle(STD_ERROR_HANDLE),
                    CREATE_SUSPENDED);
    if (!process->started()) {
      const DWORD cause = ::GetLastError();
      if (attempt == 3) {
        if (job != nullptr) {
          ::CloseHandle(job);
        }
        throw ExportError("cannot start the save: " + describeSystemError(cause));
      }
      ::Sleep(200 * attempt);
    }
  }
  if (job != nullptr) {
    (void)::AssignProcessToJobObject(job, process->handle());
  }
  ::ResumeThread(process->thread());
  const bool unloadHangs = answeredButDidNotEnd(*process, answer);
  if (unloadHangs) {
    (void)::TerminateProcess(process->handle(), 1);
  }
  if (job != nullptr) {
    ::TerminateJobObject(job, 1);
    ::CloseHandle(job);
  }
  const DWORD code = process->exitCode();
  // The save's process shares the console, and Ctrl+C ended it too.
  if (Interruptible::stopAsked()) {
    throw Interrupted();
  }
  if (unloadHangs) {
    // Unloaded here, it would hang exporthost as it hung the save's process.
    plugin.leaveLoaded();
    throw UnloadFailed(quotedName(plugin.path()) + ": saved, but did not unload within " +
                       std::to_string(kUnloadMilliseconds / 1000) +
                       " s (a DllMain or a destructor that hangs as the DLL detaches); nothing "
                       "was exported");
  }
  const std::string answered = fileContent(answer).value_or("");
  return readAnswer(answered, code == 0, describeExitCode(code), plugin, buffer);
}

}  // namespace rawout
