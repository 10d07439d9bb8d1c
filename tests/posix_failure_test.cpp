// Saves that fail for reasons only POSIX systems can stage: an unprivileged user, resource
// limits, a full device behind a link, a reader that goes away, signals during the write.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

#include "test_support.h"

namespace rawout::test {
namespace {

// After a save: the calling thread's mask as it was, and no signal left pending but `leftPending`,
// one the host had blocked itself and so takes care of.
bool signalStateIntact(const sigset_t& before, int leftPending) {
  sigset_t after;
  sigset_t pending;
  ::pthread_sigmask(SIG_BLOCK, nullptr, &after);
  ::sigpending(&pending);
  for (int signal = 1; signal < NSIG; ++signal) {
    if (sigismember(&after, signal) != sigismember(&before, signal) ||
        sigismember(&pending, signal) != (signal == leftPending ? 1 : 0)) {
      return false;
    }
  }
  return true;
}

// Saves in a forked child, where default signal dispositions stay: a signal that escapes the
// module ends the child. The signal state and the cause are checked there too.
SaveSeen saveInChild(const Bytes& bytes, const std::string& baseName,
                     const std::function<void()>& prepare, int expectedCause = 0,
                     int leftPending = 0) {
  plugin();  // loaded before any limit is set
  return SaveSeen::fromExitCode(runInChild([&] {
    prepare();
    sigset_t before;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &before);
    SaveSeen seen = saveChecked(bytes, baseName);
    const int cause = errno;
    if (!signalStateIntact(before, leftPending)) {
      seen.problem = SaveSeen::Problem::SignalState;
    } else if (seen.result == 0 && expectedCause != 0 && cause != expectedCause) {
      seen.problem = SaveSeen::Problem::OtherCause;
    }
    return seen.exitCode();
  }));
}

TEST(SaveFailure, ReadOnlyFileGivesZeroAndKeepsItsBytes) {
  const TempDir dir;
  const Bytes original = pattern(77, 7);
  writeFile(dir / "locked.bin", original);
  ASSERT_EQ(0, ::chmod((dir / "locked.bin").c_str(), 0444));
  // Root writes read-only files regardless, so the save runs as an ordinary user.
  ASSERT_EQ(0, ::chmod(dir.path().c_str(), 0755));
  const std::string locked = dir / "locked.bin";
  const SaveSeen result = saveInChild({1, 2, 3}, dir / "locked", [&] {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(SaveSeen::setupFailed().exitCode());
    }
    // The file must be in reach, so that only its mode can refuse the save.
    if (::access(locked.c_str(), R_OK) != 0) {
      ::_exit(SaveSeen::setupFailed().exitCode());
    }
  });
  EXPECT_EQ(0, result);
  EXPECT_EQ(original, readFile(dir / "locked.bin"));
}

TEST(SaveFailure, NoFreeDescriptorGivesZeroAndCreatesNothing) {
  const TempDir dir;
  const SaveSeen result = saveInChild({1}, dir / "prog", [] {
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_NOFILE, &none);
  });
  EXPECT_EQ(0, result);
  EXPECT_FALSE(exists(dir / "prog.bin"));
}

TEST(SaveFailure, FullDeviceGivesZeroAndNeverRemovesLinkOrDevice) {
  const TempDir dir;
  ASSERT_EQ(0, ::symlink("/dev/full", (dir / "full.bin").c_str()));
  EXPECT_EQ(0, saveChecked(pattern(4096, 8), dir / "full"));
  EXPECT_EQ(ENOSPC, errno);
  struct stat link {};
  ASSERT_EQ(0, ::lstat((dir / "full.bin").c_str(), &link));
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  struct stat device {};
  ASSERT_EQ(0, ::stat("/dev/full", &device));
  EXPECT_TRUE(S_ISCHR(device.st_mode));
}

// SIGXFSZ keeps its default disposition, which ends a process that it reaches.
void limitFileSize(rlim_t bytes) {
  const rlimit limit{bytes, bytes};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(SaveFailure, FileSizeLimitGivesZeroAndRemovesTheIncompleteFileSignallingNothing) {
  const TempDir dir;
  writeFile(dir / "prog.bin", pattern(100, 9));
  EXPECT_EQ(0, saveInChild(
                   pattern(65536, 10), dir / "prog", [] { limitFileSize(4096); }, EFBIG));
  EXPECT_FALSE(exists(dir / "prog.bin"));
}

// Reads the FIFO at `path` on another thread, by the rules of `step`, until the writer closes it
// or `step` returns false; gives back what was read.
class FifoReader {
 public:
  explicit FifoReader(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
  ~FifoReader() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  FifoReader(const FifoReader&) = delete;
  FifoReader& operator=(const FifoReader&) = delete;
  [[nodiscard]] int fd() const { return fd_; }
  // Waits, up to 5 s, until the writer has filled the pipe.
  void awaitFull() const {
    const int capacity = ::fcntl(fd_, F_GETPIPE_SZ);
    int queued = 0;
    for (int wait = 0; wait < 5000 && ::ioctl(fd_, FIONREAD, &queued) == 0 && queued < capacity;
         ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // Reads what is there, waiting up to a second; false at the end of the data.
  bool readSome(Bytes& received) const {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, 1000) <= 0) {
      return false;
    }
    std::array<std::uint8_t, 65536> chunk{};
    const ssize_t count = ::read(fd_, chunk.data(), chunk.size());
    if (count > 0) {
      received.insert(received.end(), chunk.begin(), chunk.begin() + count);
    }
    return count > 0;
  }
  void close() {
    ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// A host that blocked SIGPIPE itself finds it pending afterwards, as it would without the module.
TEST(SaveSignals, ReaderGoneGivesZeroWithEpipeAndLeavesTheFifoAlone) {
  for (const bool hostBlocksSigpipe : {false, true}) {
    const TempDir dir;
    const std::string fifo = dir / "gone.bin";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    std::unique_ptr<FifoReader> reader;
    const SaveSeen result = saveInChild(
        pattern(1 << 20, 15), dir / "gone",
        [&] {
          if (hostBlocksSigpipe) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
          }
          reader = std::make_unique<FifoReader>(fifo);
          std::thread([&reader] {
            reader->awaitFull();
            reader->close();
          }).detach();
        },
        EPIPE, hostBlocksSigpipe ? SIGPIPE : 0);
    EXPECT_EQ(0, result) << "host blocks SIGPIPE: " << hostBlocksSigpipe
                         << " (141: SIGPIPE reached the host; 6: signal state changed)";
    struct stat status {};
    ASSERT_EQ(0, ::lstat(fifo.c_str(), &status));
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
  }
}

// The host's handler has no SA_RESTART, so a write blocked on a full pipe ends with EINTR when
// the signal comes before any byte has passed.
TEST(SaveSignals, WritesInterruptedByTheHostsSignalsResume) {
  const TempDir dir;
  const std::string fifo = dir / "slow.bin";
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  const Bytes bytes = pattern(1 << 20, 16);
  const std::string received = dir / "received";
  const SaveSeen result = SaveSeen::fromExitCode(runInChild([&] {
    struct sigaction interrupt {};
    interrupt.sa_handler = [](int) {};
    ::sigaction(SIGUSR1, &interrupt, nullptr);
    const FifoReader reader(fifo);
    const pthread_t saver = ::pthread_self();
    std::thread drain([&] {
      Bytes got;
      // The first signal ends a write that has moved bytes (a short count); the second comes
      // once the next write is blocked before its first byte.
      do {
        reader.awaitFull();
        for (int twice = 0; twice < 2; ++twice) {
          ::pthread_kill(saver, SIGUSR1);
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      } while (reader.readSome(got) && got.size() < bytes.size());
      while (reader.readSome(got)) {
      }
      writeFile(received, got);
    });
    const SaveSeen saved = saveChecked(bytes, dir / "slow");
    drain.join();
    return saved.exitCode();
  }));
  EXPECT_EQ(1, result);
  EXPECT_EQ(bytes, readFile(received));
}

TEST(SaveFailure, CutShortWriteThroughALinkKeepsLinkAndTarget) {
  const TempDir dir;
  writeFile(dir / "target", {});
  ASSERT_EQ(0, ::symlink((dir / "target").c_str(), (dir / "linked.bin").c_str()));
  EXPECT_EQ(0, saveInChild(pattern(65536, 11), dir / "linked", [] { limitFileSize(4096); }));
  EXPECT_TRUE(exists(dir / "linked.bin"));
  EXPECT_TRUE(exists(dir / "target"));
}

}  // namespace
}  // namespace rawout::test
