// What a save leaves behind in the process: no descriptor, and none that a child could inherit.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <fstream>
#include <thread>

#include "test_support.h"

namespace rawout::test {
namespace {

int openDescriptorCount() {
  int count = 0;
  DIR* folder = ::opendir("/proc/self/fd");
  while (folder != nullptr && ::readdir(folder) != nullptr) {
    ++count;
  }
  if (folder != nullptr) {
    ::closedir(folder);
  }
  return count;
}

TEST(SaveResources, NoDescriptorOutlivesASaveWhateverItsOutcome) {
  const TempDir dir;
  ASSERT_EQ(0, ::symlink("/dev/full", (dir / "full.bin").c_str()));
  const Bytes bytes = pattern(8192, 13);
  const int before = openDescriptorCount();
  for (int round = 0; round < 50; ++round) {
    EXPECT_EQ(1, plugin().savePrgmFile(bytes.data(), 8192, (dir / "ok").c_str(), nullptr));
    EXPECT_EQ(0, plugin().savePrgmFile(bytes.data(), 8192, (dir / "full").c_str(), nullptr));
    EXPECT_EQ(0, plugin().savePrgmFile(bytes.data(), 8192, (dir / "no/dir").c_str(), nullptr));
  }
  EXPECT_EQ(before, openDescriptorCount());
}

// A save into a FIFO blocks in its write until the test reads, which leaves time to look at the
// descriptor the module holds open.
TEST(SaveResources, TheOpenFileIsClosedOnExec) {
  const TempDir dir;
  const std::string fifo = dir / "pipe.bin";
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  const Bytes bytes = pattern(1 << 20, 14);
  int result = -1;
  std::thread saver([&] {
    result = plugin().savePrgmFile(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                   (dir / "pipe").c_str(), nullptr);
  });

  std::string flags;
  for (int attempt = 0; attempt < 2000 && flags.empty(); ++attempt) {
    DIR* folder = ::opendir("/proc/self/fd");
    while (const dirent* entry = ::readdir(folder)) {
      const std::string link = std::string("/proc/self/fd/") + entry->d_name;
      char target[4096] = {};
      if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && fifo == target &&
          std::stoi(entry->d_name) != reader) {
        std::ifstream info(std::string("/proc/self/fdinfo/") + entry->d_name);
        std::string key;
        while (info >> key && key != "flags:") {
        }
        info >> flags;
      }
    }
    ::closedir(folder);
    if (flags.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // The block is larger than a pipe holds, so the save cannot finish before it is all read.
  Bytes received;
  ::fcntl(reader, F_SETFL, 0);
  std::array<std::uint8_t, 65536> chunk{};
  for (int idle = 0; received.size() < bytes.size() && idle < 2000;) {
    const ssize_t count = ::read(reader, chunk.data(), chunk.size());
    if (count > 0) {
      received.insert(received.end(), chunk.begin(), chunk.begin() + count);
    } else {
      ++idle;  // no writer yet
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  saver.join();
  ::close(reader);
  EXPECT_EQ(1, result);
  EXPECT_EQ(bytes, received);
  ASSERT_FALSE(flags.empty()) << "the module's descriptor was never seen";
  EXPECT_NE(0UL, std::stoul(flags, nullptr, 8) & O_CLOEXEC) << "flags " << flags;
}

}  // namespace
}  // namespace rawout::test
