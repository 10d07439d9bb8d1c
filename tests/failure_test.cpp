// Saves that cannot succeed, on every platform: each gives 0, leaves the extension buffer alone
// and loses nothing that truncation had not already given up.
#include <array>
#include <cerrno>
#include <filesystem>

#include "test_support.h"

namespace rawout::test {
namespace {

TEST(SaveFailure, MissingFolderGivesZeroAndTellsWhy) {
  const TempDir dir;
  errno = 0;
  EXPECT_EQ(0, saveChecked({1, 2}, dir / "no/such/folder/prog"));
  EXPECT_EQ(ENOENT, errno);
}

TEST(SaveFailure, NameOfAFolderGivesZeroAndKeepsTheFolder) {
  const TempDir dir;
  std::filesystem::create_directory(dir / "taken.bin");
  EXPECT_EQ(0, saveChecked({1, 2}, dir / "taken"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.bin"));
}

TEST(SaveNullArguments, NullBaseNameGivesZero) {
  errno = 0;
  EXPECT_EQ(0, saveChecked({1}, nullptr));
  EXPECT_EQ(EINVAL, errno);
}

TEST(SaveNullArguments, NullDataWithBytesGivesZeroAndLeavesTheFileAlone) {
  const TempDir dir;
  const Bytes original = pattern(50, 12);
  writeFile(dir / "kept.bin", original);
  std::array<char, 8> ext = {'u', 'n', 't', 'o', 'u', 'c', 'h', 'd'};
  const auto before = ext;
  EXPECT_EQ(0, plugin().savePrgmFile(nullptr, 10, (dir / "kept").c_str(), ext.data()));
  EXPECT_EQ(original, readFile(dir / "kept.bin"));
  EXPECT_EQ(before, ext);
  EXPECT_EQ(0, plugin().savePrgmFile(nullptr, 10, (dir / "absent").c_str(), nullptr));
  EXPECT_FALSE(exists(dir / "absent.bin"));
}

}  // namespace
}  // namespace rawout::test
