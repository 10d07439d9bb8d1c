// Saves that fail for reasons only POSIX systems can stage: an unprivileged user, resource
// limits, a full device behind a link.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

namespace rawout::test {
namespace {

// Saves in a forked child so that limits and identities stay there. Exit code: the result, or 3
// when the extension buffer was written.
int saveInChild(const Bytes& bytes, const std::string& baseName,
                const std::function<void()>& prepare) {
  plugin();  // loaded before any limit is set
  return runInChild([&] {
    prepare();
    return saveChecked(bytes, baseName);
  });
}

TEST(SaveFailure, ReadOnlyFileGivesZeroAndKeepsItsBytes) {
  const TempDir dir;
  const Bytes original = pattern(77, 7);
  writeFile(dir / "locked.bin", original);
  ASSERT_EQ(0, ::chmod((dir / "locked.bin").c_str(), 0444));
  // Root writes read-only files regardless, so the save runs as an ordinary user.
  ASSERT_EQ(0, ::chmod(dir.path().c_str(), 0755));
  const std::string locked = dir / "locked.bin";
  const int result = saveInChild({1, 2, 3}, dir / "locked", [&] {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(4);
    }
    // The file must be in reach, so that only its mode can refuse the save.
    if (::access(locked.c_str(), R_OK) != 0) {
      ::_exit(5);
    }
  });
  EXPECT_EQ(0, result);
  EXPECT_EQ(original, readFile(dir / "locked.bin"));
}

TEST(SaveFailure, NoFreeDescriptorGivesZeroAndCreatesNothing) {
  const TempDir dir;
  const int result = saveInChild({1}, dir / "prog", [] {
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

void limitFileSize(rlim_t bytes) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, bytes};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(SaveFailure, CutShortWriteGivesZeroAndRemovesTheIncompleteFile) {
  const TempDir dir;
  writeFile(dir / "prog.bin", pattern(100, 9));
  EXPECT_EQ(0, saveInChild(pattern(65536, 10), dir / "prog", [] { limitFileSize(4096); }));
  EXPECT_FALSE(exists(dir / "prog.bin"));
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
