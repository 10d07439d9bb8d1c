// On Linux the save runs in a forked child, in a process group of its own, which shares the
// mapped input and the extension buffer's layout. It hands back what the parent needs through a
// pipe: the result, the five bytes of the extension buffer and the failure's cause, or the fault
// trap's message. Its TMPDIR is a folder of its own. Once it ends, so does every process it left.
#include "export/guarded_save.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

// What the pipe holds now, without waiting for more.
std::string readWaiting(int descriptor) {
  (void)::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
  std::string bytes;
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return bytes;
    }
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
}

[[noreturn]] void saveInChild(int answer, const ExportPlugin& plugin, const void* data,
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
  const ChildWait end = waitWithoutReaping(child, std::nullopt);
  // Whatever the save left running ends with it: its group, then every orphan that came to
  // exporthost, which starts no other process meanwhile.
  ::kill(-child, SIGKILL);
  siginfo_t reaped{};
  ::waitid(P_PID, static_cast<id_t>(child), &reaped, WEXITED);
  endAdoptedChildren();
  // Read only once the save has ended: a process that kept the pipe open is not waited for.
  const std::string answer = readWaiting(channel[0]);
  ::close(channel[0]);
  if (end.outcome == ChildWait::Outcome::Interrupted) {
    throw Interrupted();
  }
  return readAnswer(answer, end.code == CLD_EXITED && end.status == 0,
                    processEnd(end.code, end.status), plugin, buffer);
}

}  // namespace rawout
