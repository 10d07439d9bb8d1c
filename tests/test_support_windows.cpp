// Child processes, environment and file checks, the Windows way.
#include <windows.h>

#include <cstdlib>
#include <optional>
#include <thread>

#include "process/windows_process.h"
#include "test_support.h"
#include "text/shell_word.h"

namespace rawout::test {

namespace {

HANDLE inheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void setEnvironment(const std::string& name, const std::string& value) {
  ::_putenv_s(name.c_str(), value.c_str());
  ::SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void unsetEnvironment(const std::string& name) {
  ::_putenv_s(name.c_str(), "");
  ::SetEnvironmentVariableA(name.c_str(), nullptr);
}

bool exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const Stdin& input) {
  const ProcessFiles files(input);
  HANDLE stdinRead = INVALID_HANDLE_VALUE;
  HANDLE stdinWrite = INVALID_HANDLE_VALUE;
  if (input.pipe) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    ::CreatePipe(&stdinRead, &stdinWrite, &inherit, 0);
    ::SetHandleInformation(stdinWrite, HANDLE_FLAG_INHERIT, 0);
  } else {
    stdinRead = inheritableFile(files.in(), GENERIC_READ, OPEN_EXISTING);
  }
  HANDLE out = inheritableFile(files.out(), GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = inheritableFile(files.err(), GENERIC_WRITE, CREATE_ALWAYS);

  std::string commandLine;
  for (const auto& argument : argv) {
    commandLine += (commandLine.empty() ? "" : " ") + shellWord(argument);
  }
  // Under wine a new process now and then dies while it starts (ERROR_INTERNAL_ERROR), which
  // says nothing of the program: it is started again, as exporthost starts its checks again.
  std::optional<StartedProcess> process;
  DWORD error = 0;
  for (int attempt = 0; (!process || !process->started()) && attempt < 3; ++attempt) {
    if (attempt > 0) {
      ::Sleep(200);
    }
    process.emplace(nullptr, commandLine, stdinRead, out, err);
    error = process->started() ? 0 : ::GetLastError();
  }
  const bool started = process->started();
  ::CloseHandle(stdinRead);
  ::CloseHandle(out);
  ::CloseHandle(err);
  ProcessResult result;
  if (input.pipe) {
    for (std::size_t done = 0; started && done < input.bytes.size();) {
      DWORD written = 0;
      const auto chunk =
          static_cast<DWORD>(std::min<std::size_t>(input.bytes.size() - done, 1 << 20));
      if (!::WriteFile(stdinWrite, input.bytes.data() + done, chunk, &written, nullptr)) {
        break;
      }
      done += written;
    }
    ::CloseHandle(stdinWrite);
  }
  if (!started) {
    ADD_FAILURE() << "cannot run " << commandLine << ": error " << error;
    return result;
  }
  result.exitCode = static_cast<int>(process->exitCode());
  files.collect(result);
  return result;
}

}  // namespace rawout::test
