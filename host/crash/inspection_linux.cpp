// The stopped check process read with elfutils' libdwfl: its modules from /proc, each thread
// attached with ptrace and unwound through the signal frame by the modules' call frame
// information, each address named from the symbol tables and DWARF line tables.
#include <elfutils/libdwfl.h>
#include <sys/types.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>

#include "crash/inspection.h"
#include "process/linux_process.h"
#include "process/this_program.h"
#include "text/paths.h"

namespace rawout {

namespace {

const Dwfl_Callbacks kCallbacks = {dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo, nullptr,
                                   nullptr};

// A session over the process: its modules reported, its threads to be attached.
class Session {
 public:
  explicit Session(pid_t pid) : dwfl_(dwfl_begin(&kCallbacks)) {
    if (dwfl_ == nullptr) {
      return;
    }
    dwfl_report_begin(dwfl_);
    const bool reported = dwfl_linux_proc_report(dwfl_, pid) == 0;
    dwfl_report_end(dwfl_, nullptr, nullptr);
    attached_ = reported && dwfl_linux_proc_attach(dwfl_, pid, false) == 0;
  }
  ~Session() {
    if (dwfl_ != nullptr) {
      dwfl_end(dwfl_);
    }
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  [[nodiscard]] Dwfl* get() const { return attached_ ? dwfl_ : nullptr; }

 private:
  Dwfl* dwfl_;
  bool attached_ = false;
};

// Where no symbol covers an address (a module stripped of all but its exports), the function
// symbol that starts nearest below it, and its start.
std::pair<const char*, GElf_Addr> nearestFunctionBelow(Dwfl_Module* module, Dwarf_Addr address) {
  std::pair<const char*, GElf_Addr> nearest{nullptr, 0};
  const int count = dwfl_module_getsymtab(module);
  for (int index = 1; index < count; ++index) {
    GElf_Sym symbol{};
    GElf_Addr start = 0;
    const char* name =
        dwfl_module_getsym_info(module, index, &symbol, &start, nullptr, nullptr, nullptr);
    if (name != nullptr && GELF_ST_TYPE(symbol.st_info) == STT_FUNC &&
        symbol.st_shndx != SHN_UNDEF && start <= address &&
        (nearest.first == nullptr || start > nearest.second)) {
      nearest = {name, start};
    }
  }
  return nearest;
}

// The frame at `pc`: a return address is looked up one byte back, inside the call.
Frame frameAt(Dwfl* dwfl, Dwarf_Addr pc, bool exact) {
  Frame frame;
  const Dwarf_Addr lookup = exact || pc == 0 ? pc : pc - 1;
  Dwfl_Module* module = dwfl_addrmodule(dwfl, lookup);
  if (module == nullptr) {
    frame.offset = pc;  // in no module: an address alone
    return frame;
  }
  Dwarf_Addr start = 0;
  const char* path =
      dwfl_module_info(module, nullptr, &start, nullptr, nullptr, nullptr, nullptr, nullptr);
  // A module's span can hold what is not its file: an unloaded module's former image, kept
  // from reuse in a gap between its segments.
  if (path != nullptr && !whatLiesAt(static_cast<StoppedProcess>(dwfl_pid(dwfl)), lookup)
                              .starts_with(lastComponent(path))) {
    frame.offset = pc;
    return frame;
  }
  frame.module = path != nullptr ? lastComponent(path) : "?";
  frame.offset = pc - start;
  frame.host = path != nullptr && lastComponent(path) == lastComponent(thisProgram());
  GElf_Off offset = 0;
  GElf_Sym symbol{};
  if (const char* name =
          dwfl_module_addrinfo(module, lookup, &offset, &symbol, nullptr, nullptr, nullptr)) {
    frame.function = readableName(name);
    frame.functionOffset = offset + (lookup == pc ? 0 : 1);
  } else if (const auto [below, start] = nearestFunctionBelow(module, lookup); below != nullptr) {
    frame.function = readableName(below);
    frame.functionOffset = pc - start;
    frame.nearest = true;
  }
  if (Dwfl_Line* line = dwfl_module_getsrc(module, lookup)) {
    int number = 0;
    if (const char* file = dwfl_lineinfo(line, nullptr, &number, nullptr, nullptr, nullptr)) {
      frame.file = lastComponent(file);
      frame.line = number;
    }
  }
  return frame;
}

struct Walk {
  Dwfl* dwfl;
  std::size_t most;
  // For a fault: its instruction. The frames of the handler that recorded it come first, and
  // are left out.
  std::optional<Dwarf_Addr> faulted;
  std::vector<Frame> frames;
};

int onFrame(Dwfl_Frame* state, void* raw) {
  auto& walk = *static_cast<Walk*>(raw);
  Dwarf_Addr pc = 0;
  bool exact = false;
  if (!dwfl_frame_pc(state, &pc, &exact)) {
    return DWARF_CB_ABORT;
  }
  if (walk.faulted) {
    if (!exact || pc != *walk.faulted) {
      return DWARF_CB_OK;
    }
    walk.faulted.reset();
  }
  Frame frame = frameAt(walk.dwfl, pc, exact);
  const bool host = frame.host;
  walk.frames.push_back(std::move(frame));
  return host || walk.frames.size() >= walk.most ? DWARF_CB_ABORT : DWARF_CB_OK;
}

std::vector<Frame> walked(Dwfl* dwfl, pid_t thread, std::size_t most,
                          std::optional<Dwarf_Addr> faulted) {
  Walk walk{dwfl, most, faulted, {}};
  (void)dwfl_getthread_frames(dwfl, thread, onFrame, &walk);
  return std::move(walk.frames);
}

}  // namespace

std::vector<Frame> crashFrames(StoppedProcess process, const CrashRecord& record,
                               std::size_t most) {
  const Session session(static_cast<pid_t>(process));
  if (session.get() == nullptr) {
    return {};
  }
  return walked(session.get(), static_cast<pid_t>(record.thread), most, record.pc);
}

std::vector<ThreadFrames> threadFrames(StoppedProcess process, std::size_t most) {
  const Session session(static_cast<pid_t>(process));
  std::vector<ThreadFrames> threads;
  if (session.get() == nullptr) {
    return threads;
  }
  struct Each {
    Dwfl* dwfl;
    std::size_t most;
    std::vector<ThreadFrames>* threads;
  } each{session.get(), most, &threads};
  (void)dwfl_getthreads(
      session.get(),
      [](Dwfl_Thread* thread, void* raw) -> int {
        auto& found = *static_cast<Each*>(raw);
        const pid_t tid = dwfl_thread_tid(thread);
        found.threads->push_back({tid, walked(found.dwfl, tid, found.most, std::nullopt)});
        return DWARF_CB_OK;
      },
      &each);
  return threads;
}

std::string whatLiesAt(StoppedProcess process, std::uint64_t address) {
  // "start-end perms offset device inode path", from the stopped process's map.
  std::ifstream maps("/proc/" + std::to_string(process) + "/maps");
  for (std::string line; std::getline(maps, line);) {
    std::istringstream fields(line);
    std::string span;
    std::string permissions;
    std::string skipped;
    std::string path;
    fields >> span >> permissions >> skipped >> skipped >> skipped;
    std::getline(fields >> std::ws, path);
    const std::size_t dash = span.find('-');
    if (dash == std::string::npos) {
      continue;
    }
    const std::uint64_t start = std::stoull(span.substr(0, dash), nullptr, 16);
    const std::uint64_t end = std::stoull(span.substr(dash + 1), nullptr, 16);
    if (address < start || address >= end) {
      continue;
    }
    const std::string access = permissions.substr(0, 3) == "---" ? ", which no one may touch"
                               : permissions[1] == 'w'           ? ""
                                                                 : ", which is read-only";
    if (path.empty()) {
      return "memory no file backs" + access;
    }
    if (path.front() == '[') {
      return path == "[stack]" ? "the main thread's stack" + access : path + access;
    }
    return lastComponent(path) + access;
  }
  return "nothing mapped";
}

std::string faultKind(const CrashRecord& record) {
  const int signal = static_cast<int>(record.code);
  const int code = record.detail;
  std::string kind = signal == SIGSEGV   ? "segmentation fault"
                     : signal == SIGBUS  ? "bus error"
                     : signal == SIGILL  ? "illegal instruction"
                     : signal == SIGTRAP ? "trap (a breakpoint)"
                     : signal == SIGFPE && (code == FPE_INTDIV || code == FPE_FLTDIV)
                         ? "division by zero"
                     : signal == SIGFPE && code == FPE_INTOVF ? "integer overflow"
                     : signal == SIGFPE                       ? "arithmetic fault"
                                                              : "fault";
  return kind + " (" + signalName(signal) + ")";
}

}  // namespace rawout
