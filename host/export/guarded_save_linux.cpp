// On Linux the save runs in a forked child, in a process group of its own, which shares the
// mapped input and the extension buffer's layout. It hands back what the parent needs through a
// pipe: the result, the five bytes of the extension buffer and the failure's cause, or the fault
// trap's message; it then unloads the plug-in. Its TMPDIR is a folder of its own. Once it ends,
// so does every process it left.
#include "export/guarded_save.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "export/export_error.h"
#include "export/save_answer.h"
#include "files/scratch_folder.h"
#include "files/working_folder.h"
#include "loader/fault_trap.h"
#include "process/coverage.h"
#include "process/interruptible.h"
#include "process/linux_process.h"
#include "text/quoted_name.h"

namespace rawout {

namespace {

bool writeAll(int descriptor, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t written = ::write(descriptor, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno != EINTR) {
      return false;
    }
    done += written > 0 ? static_cast<std::size_t>(written) : 0;
  }
  return true;
}

// Adds what the pipe holds now to `bytes`, without waiting for more: true once its writers are
// all gone.
bool readWaiting(int descriptor, std::string& bytes) {
  (void)::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return got == 0;
    }
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
}

// How long the save's process has, once it has answered, to unload the plug-in and end.
constexpr auto kUnloadTime = std::chrono::seconds(5);

// Waits for the save's process to end, reading its answer meanwhile, with a limit from the moment
// a result is whole: `unloadHangs` says it passed. A pipe that a process the save started keeps
// open is not waited for.
ChildWait waitForSave(pid_t child, int channel, std::string& answer, bool& unloadHangs) {
  int watched = channel;
  for (;;) {
    const ChildWait end = waitWithoutReaping(child, std::nullopt, false, watched);
    if (end.outcome != ChildWait::Outcome::Readable) {
      return end;
    }
    if (readWaiting(channel, answer)) {
      watched = -1;  // every writer gone: only the process's end is left to wait for
    }
    if (isWholeResult(answer)) {
      const ChildWait unloaded =
          waitWithoutReaping(child, std::chrono::steady_clock::now() + kUnloadTime);
      unloadHangs = unloaded.outcome == ChildWait::Outcome::TimedOut;
      return unloaded;
    }
  }
}

[[noreturn]] void saveInChild(int answer, ExportPlugin& plugin, const void* data,
                              std::uint32_t size, const std::string& baseName,
                              ExtensionBuffer& buffer, const InputBlock* input) {
  FaultTrap trap(
      faultAnswer(quotedName(plugin.path()) + ": wrote past " + ExtensionBuffer::described()));
  trap.reportTo(answer);
  trap.reportWrites(faultAnswer(quotedName(plugin.path()) + ": "), "");
  if (input != nullptr) {
    trap.watch(input->data(), input->size(),
               faultAnswer(InputError::changed(input->path()).what()));
  }
  const ExportPlugin::SaveOutcome outcome = plugin.saveAsAHost(data, size, baseName, buffer.get());
  const bool answered = writeAll(answer, resultAnswer(plugin, outcome, buffer));
  // The answer comes before the unload, whole: exporthost can tell an unload that hangs from a
  // save that takes long, and a destructor that crashes as the module goes fails the export
  // before its file is put in place.
  trap.reportTo(-1);
  plugin.unload();
  flushCoverageCounts();
  ::_exit(answered ? 0 : 1);
}

}  // namespace

// A forked child saves: no process is ever started as the save's.
std::optional<int> runSaveProcessIfAsked(const std::vector<std::string>& /*arguments*/) {
  return std::nullopt;
}

ExportPlugin::SaveOutcome guardedSave(ExportPlugin& plugin, const void* data, std::uint32_t size,
                                      const std::string& baseName, ExtensionBuffer& buffer,
                                      const InputBlock* input) {
  // The save's own temporary folder, gone with what the plug-in left in it.
  const ScratchFolder temporary;
  int channel[2] = {-1, -1};
  if (::pipe2(channel, O_CLOEXEC) != 0) {
    throw ExportError(std::string("cannot make a pipe for the save: ") + std::strerror(errno));
  }
  // Nothing buffered is written twice, by the parent and by the child.
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  const pid_t child = ::fork();
  if (child == 0) {
    // A group of its own, so that the save and what it starts end together; the signals that
    // stop exporthost end it as they would any process.
    (void)::setpgid(0, 0);
    Interruptible::forgetInChild();
    ::close(channel[0]);
    (void)temporaryFilesInto(temporary.path());
    saveInChild(channel[1], plugin, data, size, baseName, buffer, input);
  }
  ::close(channel[1]);
  if (child < 0) {
    const int cause = errno;
    ::close(channel[0]);
    throw ExportError(std::string("cannot start the save: ") + std::strerror(cause));
  }
  (void)::setpgid(child, child);
  std::string answer;
  bool unloadHangs = false;
  const ChildWait end = waitForSave(child, channel[0], answer, unloadHangs);
  // Whatever the save left running ends with it: its group, then every orphan that came to
  // exporthost, which starts no other process meanwhile.
  ::kill(-child, SIGKILL);
  siginfo_t reaped{};
  ::waitid(P_PID, static_cast<id_t>(child), &reaped, WEXITED);
  endAdoptedChildren();
  // The rest is read once the save has ended: a process that kept the pipe open is not waited
  // for.
  (void)readWaiting(channel[0], answer);
  ::close(channel[0]);
  if (end.outcome == ChildWait::Outcome::Interrupted) {
    throw Interrupted();
  }
  if (unloadHangs) {
    // Unloaded here, it would hang exporthost as it hung the save's process.
    plugin.leaveLoaded();
    throw UnloadFailed(quotedName(plugin.path()) + ": saved, but did not unload within " +
                       std::to_string(kUnloadTime.count()) +
                       " s (a destructor that hangs as the module goes); nothing was exported");
  }
  return readAnswer(answer, end.code == CLD_EXITED && end.status == 0,
                    processEnd(end.code, end.status), plugin, buffer);
}

}  // namespace rawout
