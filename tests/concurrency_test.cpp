// Saves from many threads at once.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace rawout::test {
namespace {

TEST(SaveConcurrency, ManyThreadsSaveTheirOwnFilesAtOnce) {
  const TempDir dir;
  constexpr int kThreads = 16;
  constexpr int kSavesEach = 25;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&, thread] {
      for (int round = 0; round < kSavesEach; ++round) {
        const Bytes bytes = pattern(1000 + (thread * 97) + round, thread * 1000 + round);
        const std::string base = dir / ("t" + std::to_string(thread) + "_" + std::to_string(round));
        char ext[5];
        if (plugin().savePrgmFile(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                  base.c_str(), ext) != 1) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  ASSERT_EQ(0, failures.load());
  for (int thread = 0; thread < kThreads; ++thread) {
    for (int round = 0; round < kSavesEach; ++round) {
      const std::string name =
          dir / ("t" + std::to_string(thread) + "_" + std::to_string(round) + ".bin");
      ASSERT_EQ(pattern(1000 + (thread * 97) + round, thread * 1000 + round), readFile(name))
          << name;
    }
  }
}

}  // namespace
}  // namespace rawout::test
