// Saving through the loaded module, checked byte for byte on disk.
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "test_support.h"

namespace rawout::test {
namespace {

constexpr std::uint8_t kUntouched = 0xAA;
using ExtBuffer = std::array<char, 16>;

ExtBuffer freshExtBuffer() {
  ExtBuffer buffer{};
  buffer.fill(static_cast<char>(kUntouched));
  return buffer;
}

int save(const Bytes& bytes, const std::string& baseName, char* extOut = nullptr) {
  return plugin().savePrgmFile(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                               baseName.c_str(), extOut);
}

void expectExtension(const ExtBuffer& buffer) {
  EXPECT_EQ(0, std::memcmp(buffer.data(), ".bin", 5));
  for (std::size_t index = 5; index < buffer.size(); ++index) {
    EXPECT_EQ(static_cast<char>(kUntouched), buffer[index]) << "byte " << index << " was written";
  }
}

void expectUntouched(const ExtBuffer& buffer) { EXPECT_EQ(freshExtBuffer(), buffer); }

TEST(Save, WritesEveryByteValueExactlyAndReportsTheExtension) {
  const TempDir dir;
  const Bytes bytes = everyByteValue();
  auto ext = freshExtBuffer();
  ASSERT_EQ(1, save(bytes, dir / "all", ext.data()));
  EXPECT_EQ(bytes, readFile(dir / "all.bin"));
  expectExtension(ext);
}

TEST(Save, WritesLargeBlocksWhole) {
  const TempDir dir;
  const Bytes bytes = pattern((std::size_t{16} << 20) + 7, 42);
  ASSERT_EQ(1, save(bytes, dir / "large"));
  EXPECT_EQ(bytes, readFile(dir / "large.bin"));
}

TEST(Save, OverwritesAnExistingFileWithExactlyTheNewBlock) {
  const TempDir dir;
  writeFile(dir / "prog.bin", pattern(10000, 1));
  const Bytes shorter = pattern(100, 2);
  ASSERT_EQ(1, save(shorter, dir / "prog"));
  EXPECT_EQ(shorter, readFile(dir / "prog.bin"));
}

TEST(Save, EmptyBlockCreatesOrEmptiesTheFile) {
  const TempDir dir;
  auto ext = freshExtBuffer();
  ASSERT_EQ(1, plugin().savePrgmFile(nullptr, 0, (dir / "new").c_str(), ext.data()));
  EXPECT_TRUE(readFile(dir / "new.bin").empty());
  expectExtension(ext);

  writeFile(dir / "old.bin", pattern(500, 3));
  const std::uint8_t unread = 0;
  ASSERT_EQ(1, plugin().savePrgmFile(&unread, 0, (dir / "old").c_str(), nullptr));
  EXPECT_TRUE(readFile(dir / "old.bin").empty());
}

TEST(Save, NullExtOutChangesNeitherFileNorResult) {
  const TempDir dir;
  const Bytes bytes = pattern(300, 4);
  ASSERT_EQ(1, save(bytes, dir / "quiet", nullptr));
  EXPECT_EQ(bytes, readFile(dir / "quiet.bin"));
}

TEST(Save, LineEndsAndEndOfFileMarksPassUnchanged) {
  const TempDir dir;
  const Bytes bytes = {0x0A, 0x0D, 0x0A, 0x1A, 0x0A, 0x0A, 0x0D, 0x00, 0x1A};
  ASSERT_EQ(1, save(bytes, dir / "text"));
  EXPECT_EQ(bytes, readFile(dir / "text.bin"));
}

TEST(SaveNames, AppendsBinWhateverTheNameEndsWith) {
  const TempDir dir;
  const Bytes bytes = {1, 2, 3};
  ASSERT_EQ(1, save(bytes, dir / "prog.hex"));
  ASSERT_EQ(1, save(bytes, dir / "twice.bin"));
  ASSERT_EQ(1, save(bytes, dir / "MiXeD.Case"));
  EXPECT_EQ(bytes, readFile(dir / "prog.hex.bin"));
  EXPECT_EQ(bytes, readFile(dir / "twice.bin.bin"));
  EXPECT_EQ(bytes, readFile(dir / "MiXeD.Case.bin"));
  EXPECT_FALSE(exists(dir / "MiXeD.Case.BIN"));
}

TEST(SaveNames, EmptyBaseNameWritesDotBinInTheCurrentFolder) {
  const TempDir dir;
  const std::string previous = std::filesystem::current_path();
  ASSERT_EQ(0, ::chdir(dir.path().c_str()));
  const Bytes bytes = {9, 8, 7};
  const int result = save(bytes, "");
  ASSERT_EQ(0, ::chdir(previous.c_str()));
  ASSERT_EQ(1, result);
  EXPECT_EQ(bytes, readFile(dir / ".bin"));
}

TEST(SaveNames, NamesOfAnyAcceptedLengthAreWrittenWhole) {
  const TempDir dir;
  const Bytes bytes = pattern(64, 5);
  // 123 characters: the longest that a 128-character buffer would have held.
  const std::string base123 = dir / "";
  const std::string name123 = base123 + std::string(123 - base123.size(), 'a');
  ASSERT_EQ(1, save(bytes, name123));
  EXPECT_EQ(bytes, readFile(name123 + ".bin"));

  // The longest file name component the file system takes, and one byte more.
  const std::string longest(NAME_MAX - 4, 'n');
  ASSERT_EQ(1, save(bytes, dir / longest));
  EXPECT_EQ(bytes, readFile(dir / (longest + ".bin")));
  errno = 0;
  EXPECT_EQ(0, save(bytes, dir / (longest + "x")));
  EXPECT_EQ(ENAMETOOLONG, errno);
}

TEST(SaveNames, PathsUpToTheSystemLimitAreWrittenAndLongerOnesRefused) {
  const TempDir dir;
  std::string folder = dir.path();
  // Folders of 200 bytes until the rest fits one file name component.
  while (folder.size() + 200 < PATH_MAX - 50) {
    folder += "/" + std::string(199, 'd');
    ASSERT_EQ(0, ::mkdir(folder.c_str(), 0700));
  }
  const Bytes bytes = pattern(32, 6);
  // The kernel counts the terminator in PATH_MAX.
  const std::string longest = folder + "/" + std::string(PATH_MAX - 1 - 4 - folder.size() - 1, 'f');
  ASSERT_EQ(std::size_t{PATH_MAX - 1}, longest.size() + 4);
  auto ext = freshExtBuffer();
  ASSERT_EQ(1, save(bytes, longest, ext.data()));
  EXPECT_EQ(bytes, readFile(longest + ".bin"));

  // Shortening this name would have written "...ff.bin": an existing, different file.
  auto refused = freshExtBuffer();
  EXPECT_EQ(0, save(Bytes{1}, longest + "f", refused.data()));
  expectUntouched(refused);
  EXPECT_EQ(bytes, readFile(longest + ".bin"));
}

TEST(SaveNames, BytesThatAreNotUtf8PassToTheFileSystemUnchanged) {
  const TempDir dir;
  const std::string name = "\xff\xfe\x80\xc3(prog";
  const Bytes bytes = {0xde, 0xad};
  ASSERT_EQ(1, save(bytes, dir / name));
  EXPECT_EQ(bytes, readFile(dir / (name + ".bin")));
}

}  // namespace
}  // namespace rawout::test
