// What differs on Windows: file attributes, names the system rejects, the ANSI name limit and
// the about box drawn by MessageBoxA.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "test_support.h"

namespace rawout::test {
namespace {

// wine draws its windows on the X display it is given.
#define REQUIRE_DISPLAY()                                             \
  do {                                                                \
    if (std::getenv("DISPLAY") == nullptr) {                          \
      if (inCi()) {                                                   \
        FAIL() << "no display: run the Windows tests under xvfb-run"; \
      }                                                               \
      GTEST_SKIP() << "no display";                                   \
    }                                                                 \
  } while (false)

// Waits up to 30 s for the about box, unless whoever shows it has already returned.
HWND waitForAboutBox(const std::atomic<bool>& returned) {
  HWND box = nullptr;
  for (int attempt = 0; attempt < 600 && box == nullptr && !returned; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    box = ::FindWindowA(nullptr, "About rawout.dll");
  }
  return box;
}

bool isEmptyFolder(const std::string& path) {
  return std::filesystem::is_empty(std::filesystem::path(path));
}

TEST(WindowsSave, ReadOnlyFileGivesZeroAndKeepsItsBytes) {
  const TempDir dir;
  const Bytes original = pattern(77, 7);
  const std::string locked = dir / "locked.bin";
  writeFile(locked, original);
  ASSERT_TRUE(::SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  // wine keeps the attribute as Unix permissions, which root passes over.
  HANDLE probe =
      ::CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    ::CloseHandle(probe);
    ::SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (inCi()) {
      FAIL() << "this user writes read-only files: CI runs this suite as an unprivileged user";
    }
    GTEST_SKIP() << "this system lets the current user write read-only files";
  }
  EXPECT_EQ(0, saveChecked({1, 2, 3}, dir / "locked"));
  ::SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(original, readFile(locked));
}

TEST(WindowsSave, FileHeldOpenByAnotherProgramGivesZeroAndKeepsItsBytes) {
  const TempDir dir;
  const Bytes original = pattern(99, 8);
  const std::string busy = dir / "busy.bin";
  writeFile(busy, original);
  HANDLE holder = ::CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  EXPECT_EQ(0, saveChecked({1, 2, 3}, dir / "busy"));
  EXPECT_EQ(ERROR_SHARING_VIOLATION, ::GetLastError());
  ::CloseHandle(holder);
  EXPECT_EQ(original, readFile(busy));
}

// The last-error code is the cause every host can read, whatever C runtime it was built with.
TEST(WindowsSave, EveryFailureLeavesItsCauseInTheLastErrorCode) {
  const TempDir dir;
  const auto causeOf = [](const Bytes& bytes, const std::string& baseName) {
    ::SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(0, saveChecked(bytes, baseName)) << baseName;
    return ::GetLastError();
  };
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, causeOf({1}, dir / "no\\such\\prog"));
  EXPECT_EQ(ERROR_INVALID_NAME, causeOf({1}, dir / "bad:name"));
  EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, causeOf({1}, dir / std::string(40000, 'x')));
  ::SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(0, plugin().savePrgmFile(nullptr, 1, (dir / "null").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ::GetLastError());
}

// The system maps these names to devices in every folder: a "save" would succeed and make no file.
TEST(WindowsSave, DeviceNamesGiveZeroAndOtherNamesAreWritten) {
  const TempDir dir;
  std::string windowsDir = dir.path();
  std::replace(windowsDir.begin(), windowsDir.end(), '/', '\\');
  for (const std::string& device : std::vector<std::string>{
           "nul", "Nul ", "AUX", "con", "PRN", "com1", "COM0", "lpt9", "NUL.txt", "aux.tar.gz",
           "COM\xB9", "lpt\xB3", windowsDir + "\\nul", "C:nul"}) {
    ::SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(0, saveChecked({1}, device)) << device;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), ::GetLastError()) << device;
  }
  for (const std::string plain : {"nullable", "console", "com", "auxiliary.txt", "COM10", "lpt"}) {
    ASSERT_EQ(1, saveChecked({7}, dir / plain)) << plain;
    EXPECT_EQ(Bytes{7}, readFile(dir / (plain + ".bin"))) << plain;
  }
  // exporthost words the cause from the last-error code.
  const ProcessResult refused = runProcess({EXPORTHOST_PATH, "export", EXPORTHOST_PATH, "nul"});
  EXPECT_EQ(1, refused.exitCode);
  EXPECT_EQ(0U, refused.err.rfind("exporthost: nul.bin: cannot export as Binary File: ", 0))
      << refused.err;
  EXPECT_GT(refused.err.size(),
            std::string("exporthost: nul.bin: cannot export as Binary File: \n").size());
}

// A colon beyond the drive would name a hidden stream of the file before it, not a new file.
TEST(WindowsSave, CharactersWindowsRejectsGiveZeroAndCreateNothing) {
  for (const char rejected : std::string("<>:\"|?*")) {
    const TempDir dir;
    EXPECT_EQ(0, saveChecked({1, 2}, dir / (std::string("bad") + rejected + "name")))
        << "character " << rejected;
    EXPECT_TRUE(isEmptyFolder(dir.path())) << "character " << rejected;
  }
}

TEST(WindowsSave, NamesUpToTheAnsiLimitAreWritten) {
  const TempDir dir;
  const Bytes bytes = pattern(64, 31);
  // MAX_PATH counts the terminator.
  const std::string folder = dir / "";
  const std::string longest = folder + std::string(MAX_PATH - 1 - 4 - folder.size(), 'w');
  ASSERT_EQ(1, saveChecked(bytes, longest));
  EXPECT_EQ(bytes, readFile(longest + ".bin"));
}

// Whatever the ANSI file functions accept is written under its whole name; what they refuse
// gives 0. Neither case may leave a shortened name behind.
TEST(WindowsSave, LongerNamesAreWrittenWholeOrRefusedNeverShortened) {
  const TempDir dir;
  const std::string folder = dir / std::string(200, 'd');
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  const std::string name(200, 'n');
  const SaveSeen result = saveChecked({5, 6, 7}, folder + "/" + name);
  const auto entries = std::filesystem::directory_iterator(folder);
  if (result == 1) {
    const auto first = std::filesystem::begin(entries);
    ASSERT_NE(first, std::filesystem::end(entries));
    EXPECT_EQ(name + ".bin", first->path().filename().string());
  } else {
    EXPECT_EQ(0, result);
    EXPECT_TRUE(isEmptyFolder(folder));
  }

  const std::string beyondAnyLimit = folder + "/" + std::string(40000, 'x');
  EXPECT_EQ(0, saveChecked({1}, beyondAnyLimit));
}

// What Explorer's Details tab shows for the DLL and the program.
TEST(WindowsFiles, TheDllAndTheProgramCarryTheirVersion) {
  for (const auto& [path, name] : std::vector<std::pair<std::string, std::string>>{
           {RAWOUT_MODULE_PATH, "rawout.dll"}, {EXPORTHOST_PATH, "exporthost.exe"}}) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0U) << name << " has no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    const auto value = [&](const std::string& key) {
      void* text = nullptr;
      UINT length = 0;
      const std::string query = "\\StringFileInfo\\040904E4\\" + key;
      return ::VerQueryValueA(info.data(), query.c_str(), &text, &length) && text != nullptr
                 ? std::string(static_cast<const char*>(text))
                 : std::string();
    };
    EXPECT_EQ(name, value("OriginalFilename"));
    EXPECT_EQ(RAWOUT_VERSION, value("FileVersion")) << name;
    EXPECT_EQ("rawout", value("ProductName")) << name;
    EXPECT_FALSE(value("FileDescription").empty()) << name;
  }
}

TEST(WindowsAbout, BoxBlocksUntilDismissedThenGivesOne) {
  REQUIRE_DISPLAY();
  std::atomic<bool> returned{false};
  int result = -1;
  std::thread caller([&] {
    result = plugin().about();
    returned = true;
  });
  const HWND box = waitForAboutBox(returned);
  if (box == nullptr) {
    ADD_FAILURE() << "no window captioned \"About rawout.dll\" appeared";
    if (returned) {
      caller.join();
    } else {
      caller.detach();  // nothing left to dismiss it
    }
    return;
  }
  EXPECT_FALSE(returned) << "About returned before the box was dismissed";
  // WM_CLOSE would answer IDCANCEL; the OK button sends this.
  ::PostMessageA(box, WM_COMMAND, IDOK, 0);
  caller.join();
  EXPECT_EQ(1, result);
}

TEST(WindowsSave, DriveAndDevicePrefixesAreNotTakenForStreams) {
  const TempDir dir;
  std::string windowsPath = dir.path();
  std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
  ASSERT_EQ(':', windowsPath[1]) << windowsPath;
  const Bytes bytes = {4, 2};
  ASSERT_EQ(1, saveChecked(bytes, windowsPath + "\\drive"));
  EXPECT_EQ(bytes, readFile(dir / "drive.bin"));
  ASSERT_EQ(1, saveChecked(bytes, "\\\\?\\" + windowsPath + "\\device"));
  EXPECT_EQ(bytes, readFile(dir / "device.bin"));
}

// The save writes into a pipe that this test drains slowly, and meanwhile a child process is
// started that inherits every inheritable handle. Once the save is over, the pipe reports its
// writer gone only if that child did not inherit the module's handle.
TEST(WindowsSave, TheOpenFileIsNotInheritedByProcessesStartedMeanwhile) {
  const std::string pipeName =
      "\\\\.\\pipe\\rawout-test-" + std::to_string(::GetCurrentProcessId());
  HANDLE server = ::CreateNamedPipeA((pipeName + ".bin").c_str(), PIPE_ACCESS_INBOUND,
                                     PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, server);
  const Bytes bytes = pattern(1 << 20, 17);
  SaveSeen result;
  std::thread saver([&] { result = saveChecked(bytes, pipeName); });
  ASSERT_TRUE(::ConnectNamedPipe(server, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED);

  // A child that waits on its standard input until this test lets it go.
  HANDLE childInput = INVALID_HANDLE_VALUE;
  HANDLE release = INVALID_HANDLE_VALUE;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  ASSERT_TRUE(::CreatePipe(&childInput, &release, &inherit, 0));
  ::SetHandleInformation(release, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childInput;
  startup.hStdOutput = INVALID_HANDLE_VALUE;
  startup.hStdError = INVALID_HANDLE_VALUE;
  const TempDir dir;
  std::string commandLine = std::string(EXPORTHOST_PATH) + " export - " + (dir / "child");
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                               nullptr, &startup, &child));
  ::CloseHandle(childInput);

  Bytes received;
  std::array<char, 65536> chunk{};
  DWORD count = 0;
  while (received.size() < bytes.size() &&
         ::ReadFile(server, chunk.data(), static_cast<DWORD>(chunk.size()), &count, nullptr)) {
    received.insert(received.end(), chunk.begin(), chunk.begin() + count);
  }
  saver.join();
  bool writerGone = false;
  for (int attempt = 0; attempt < 100 && !writerGone; ++attempt) {
    writerGone = !::PeekNamedPipe(server, nullptr, 0, nullptr, nullptr, nullptr) &&
                 ::GetLastError() == ERROR_BROKEN_PIPE;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::CloseHandle(release);
  ::WaitForSingleObject(child.hProcess, 30000);
  ::CloseHandle(child.hProcess);
  ::CloseHandle(child.hThread);
  ::CloseHandle(server);
  EXPECT_EQ(1, result);
  EXPECT_EQ(bytes, received);
  EXPECT_TRUE(writerGone) << "a process started during the save inherited its file";
}

TEST(WindowsExporthost, AboutWaitsForTheBoxAndSucceeds) {
  REQUIRE_DISPLAY();
  std::atomic<bool> returned{false};
  ProcessResult result;
  std::thread caller([&] {
    result = runProcess({EXPORTHOST_PATH, "about"});
    returned = true;
  });
  const HWND box = waitForAboutBox(returned);
  EXPECT_NE(nullptr, box);
  EXPECT_FALSE(returned);
  ::PostMessageA(box, WM_COMMAND, IDOK, 0);
  caller.join();
  EXPECT_EQ(0, result.exitCode) << result.err;
}

}  // namespace
}  // namespace rawout::test
