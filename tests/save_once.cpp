// Saves one block through the loaded module between two markers that a system call tracer can
// see: write(-1, "rawout-begin") and write(-1, "rawout-end"), both failing with EBADF.
//   save_once MODULE BASENAME SIZE
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "loader/plugin_loader.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    (void)std::fputs("usage: save_once MODULE BASENAME SIZE\n", stderr);
    return 2;
  }
  const rawout::ExportPlugin plugin(argv[1]);
  const std::string baseName = argv[2];
  const std::vector<char> block(std::stoul(argv[3]), 'r');
  const auto size = static_cast<std::uint32_t>(block.size());
  char ext[5];
  // A first save warms up whatever the C library sets up on first use.
  if (plugin.savePrgmFile(block.data(), size, (baseName + "-warm").c_str(), ext) != 1) {
    return 1;
  }
  constexpr char kBegin[] = "rawout-begin";
  constexpr char kEnd[] = "rawout-end";
  (void)::write(-1, kBegin, sizeof kBegin - 1);
  const int result = plugin.savePrgmFile(block.data(), size, baseName.c_str(), ext);
  (void)::write(-1, kEnd, sizeof kEnd - 1);
  return result == 1 ? 0 : 1;
}
