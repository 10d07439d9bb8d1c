// Saving through the loaded module, checked byte for byte on disk.
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <set>

#include "test_support.h"

namespace rawout::test {
namespace {

std::set<std::string> namesIn(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(Save, WritesEveryByteValueExactlyAndReportsTheExtension) {
  const TempDir dir;
  ASSERT_EQ(1, saveChecked(everyByteValue(), dir / "all"));
  EXPECT_EQ(everyByteValue(), readFile(dir / "all.bin"));
}

TEST(Save, WritesLargeBlocksWhole) {
  const TempDir dir;
  const Bytes bytes = pattern((std::size_t{16} << 20) + 7, 42);
  ASSERT_EQ(1, saveChecked(bytes, dir / "large"));
  EXPECT_EQ(bytes, readFile(dir / "large.bin"));
}

TEST(Save, OverwritesAnExistingFileWithExactlyTheNewBlock) {
  const TempDir dir;
  writeFile(dir / "prog.bin", pattern(10000, 1));
  const Bytes shorter = pattern(100, 2);
  ASSERT_EQ(1, saveChecked(shorter, dir / "prog"));
  EXPECT_EQ(shorter, readFile(dir / "prog.bin"));
}

TEST(Save, EmptyBlockCreatesOrEmptiesTheFile) {
  const TempDir dir;
  std::array<char, 5> ext{};
  ASSERT_EQ(1, plugin().savePrgmFile(nullptr, 0, (dir / "new").c_str(), ext.data()));
  EXPECT_TRUE(readFile(dir / "new.bin").empty());
  EXPECT_EQ(0, std::memcmp(ext.data(), ".bin", 5));

  writeFile(dir / "old.bin", pattern(500, 3));
  ASSERT_EQ(1, saveChecked({}, dir / "old"));
  EXPECT_TRUE(readFile(dir / "old.bin").empty());
}

TEST(Save, NullExtOutChangesNeitherFileNorResult) {
  const TempDir dir;
  const Bytes bytes = pattern(300, 4);
  ASSERT_EQ(1, plugin().savePrgmFile(bytes.data(), 300, (dir / "quiet").c_str(), nullptr));
  EXPECT_EQ(bytes, readFile(dir / "quiet.bin"));
}

// Text mode would put 0x0D before each 0x0A and could stop at 0x1A.
TEST(Save, LineEndsAndEndOfFileMarksPassUnchanged) {
  const TempDir dir;
  Bytes bytes;
  for (int round = 0; round < 1000; ++round) {
    bytes.insert(bytes.end(), {0x0A, 0x0D, 0x0A, 0x1A, 0x0A, 0x0A, 0x0D, 0x00, 0x1A, 0x0D});
  }
  ASSERT_EQ(1, saveChecked(bytes, dir / "text"));
  EXPECT_EQ(bytes, readFile(dir / "text.bin"));
}

TEST(SaveNames, AppendsLowerCaseBinWhateverTheNameEndsWith) {
  const TempDir dir;
  const Bytes bytes = {1, 2, 3};
  ASSERT_EQ(1, saveChecked(bytes, dir / "prog.hex"));
  ASSERT_EQ(1, saveChecked(bytes, dir / "twice.bin"));
  ASSERT_EQ(1, saveChecked(bytes, dir / "MiXeD.Case"));
  EXPECT_EQ((std::set<std::string>{"prog.hex.bin", "twice.bin.bin", "MiXeD.Case.bin"}),
            namesIn(dir));
  EXPECT_EQ(bytes, readFile(dir / "twice.bin.bin"));
}

TEST(SaveNames, EmptyBaseNameWritesDotBinInTheCurrentFolder) {
  const TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const Bytes bytes = {9, 8, 7};
  const SaveSeen result = saveChecked(bytes, "");
  std::filesystem::current_path(previous);
  ASSERT_EQ(1, result);
  EXPECT_EQ(bytes, readFile(dir / ".bin"));
}

TEST(SaveNames, NamesBeyondTheOld128ByteBufferAreWrittenWhole) {
  const TempDir dir;
  const Bytes bytes = pattern(64, 5);
  // 123 bytes: the longest that a 128-byte name buffer would have held.
  const std::string folder = dir / "";
  const std::string name123 = folder + std::string(123 - folder.size(), 'a');
  ASSERT_EQ(1, saveChecked(bytes, name123));
  EXPECT_EQ(bytes, readFile(name123 + ".bin"));

  const std::string name200 = folder + std::string(200 - folder.size(), 'b');
  ASSERT_EQ(1, saveChecked(bytes, name200));
  EXPECT_EQ(bytes, readFile(name200 + ".bin"));
}

TEST(SaveNames, BytesThatAreNotUtf8PassToTheFileSystemUnchanged) {
  const TempDir dir;
  const std::string name = "\xff\xfe\x80\xc3(prog";
  const Bytes bytes = {0xde, 0xad};
  ASSERT_EQ(1, saveChecked(bytes, dir / name));
  EXPECT_EQ(bytes, readFile(dir / (name + ".bin")));
}

#ifndef _WIN32
TEST(SaveNames, TheLongestComponentIsWrittenAndOneByteMoreRefused) {
  const TempDir dir;
  const Bytes bytes = pattern(64, 5);
  const std::string longest(NAME_MAX - 4, 'n');
  ASSERT_EQ(1, saveChecked(bytes, dir / longest));
  EXPECT_EQ(bytes, readFile(dir / (longest + ".bin")));
  errno = 0;
  EXPECT_EQ(0, saveChecked(bytes, dir / (longest + "x")));
  EXPECT_EQ(ENAMETOOLONG, errno);
}

TEST(SaveNames, PathsUpToTheSystemLimitAreWrittenAndLongerOnesRefused) {
  const TempDir dir;
  std::string folder = dir.path();
  // Folders of 200 bytes until the rest fits one file name component.
  while (folder.size() + 200 < PATH_MAX - 50) {
    folder += "/" + std::string(199, 'd');
    ASSERT_TRUE(std::filesystem::create_directory(folder));
  }
  const Bytes bytes = pattern(32, 6);
  // The kernel counts the terminator in PATH_MAX.
  const std::string longest = folder + "/" + std::string(PATH_MAX - 1 - 4 - folder.size() - 1, 'f');
  ASSERT_EQ(std::size_t{PATH_MAX - 1}, longest.size() + 4);
  ASSERT_EQ(1, saveChecked(bytes, longest));
  EXPECT_EQ(bytes, readFile(longest + ".bin"));

  // Shortening this name would have written "...ff.bin": an existing, different file.
  EXPECT_EQ(0, saveChecked(Bytes{1}, longest + "f"));
  EXPECT_EQ(bytes, readFile(longest + ".bin"));
}
#endif

}  // namespace
}  // namespace rawout::test
