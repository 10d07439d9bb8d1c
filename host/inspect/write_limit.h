// A limit on how large a file this process may write, so that a plug-in's write fails part-way
// as on a full disk. On Linux: RLIMIT_FSIZE with SIGXFSZ ignored, so the write fails with EFBIG
// instead of ending the process.
#pragma once

#include <cstddef>
#include <string>

namespace rawout {

class WriteLimit {
 public:
  // Why the platform cannot limit a write, or an empty string when it can.
  static std::string unsupported();

  // Files grow to `bytes` at most while it lives. Throws CheckTrouble when the limit cannot be set.
  explicit WriteLimit(std::size_t bytes);
  ~WriteLimit();  // NOLINT(performance-trivially-destructible): on Linux it lifts the limit
  WriteLimit(const WriteLimit&) = delete;
  WriteLimit& operator=(const WriteLimit&) = delete;

 private:
  unsigned long long previousLimit_ = 0;
  void* previousHandling_ = nullptr;
};

}  // namespace rawout
