// What a save costs through the loaded module, next to the floor the operating system sets (one
// open with truncation, a write loop, one close) and the designs a user would write by hand.
// Prints Google Benchmark's report, then a table of median ratios to the floor for each size.
//
// RAWOUT_BENCH_DIR picks the target folder; the default is tmpfs (/dev/shm), so the software is
// measured rather than the disk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "loader/plugin_loader.h"

namespace {

std::string targetFolder() {
  const char* chosen = std::getenv("RAWOUT_BENCH_DIR");
  if (chosen != nullptr && *chosen != '\0') {
    return chosen;
  }
  return ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

const rawout::ExportPlugin& plugin() {
  static const rawout::ExportPlugin loaded(RAWOUT_MODULE_PATH);
  return loaded;
}

std::string basePath(const char* design) {
  return targetFolder() + "/rawout-bench-" + std::to_string(::getpid()) + "-" + design;
}

const std::vector<char>& block(std::size_t size) {
  static std::map<std::size_t, std::vector<char>> blocks;
  auto& bytes = blocks[size];
  if (bytes.size() != size) {
    bytes.resize(size);
    for (std::size_t index = 0; index < size; ++index) {
      bytes[index] = static_cast<char>(index * 131 + 7);
    }
  }
  return bytes;
}

using Save = bool (*)(const std::vector<char>& bytes, const std::string& base,
                      const std::string& file);

struct Design {
  const char* name;
  Save save;
};

bool saveThroughModule(const std::vector<char>& bytes, const std::string& base,
                       const std::string& /*file*/) {
  return plugin().savePrgmFile(bytes.data(), static_cast<std::uint32_t>(bytes.size()), base.c_str(),
                               nullptr) == 1;
}

bool saveAtTheFloor(const std::vector<char>& bytes, const std::string& /*base*/,
                    const std::string& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (count <= 0) {
      ::close(fd);
      return false;
    }
    done += static_cast<std::size_t>(count);
  }
  return ::close(fd) == 0;
}

bool saveWithOfstream(const std::vector<char>& bytes, const std::string& /*base*/,
                      const std::string& file) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return out.good();
}

bool saveWithBufferedStdio(const std::vector<char>& bytes, const std::string& /*base*/,
                           const std::string& file) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) {
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && written;
}

// The floor comes first: every ratio is against it.
constexpr std::array<Design, 4> kDesigns = {{{"floor", saveAtTheFloor},
                                             {"module", saveThroughModule},
                                             {"ofstream", saveWithOfstream},
                                             {"stdio", saveWithBufferedStdio}}};

double median(std::vector<double> values) {
  if (values.empty()) {
    return 0;
  }
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// Every iteration saves the same block once with each design, the order rotating, so that the
// machine's drift and noise fall on all of them alike; each design's median is then compared.
void Compare(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::vector<char>& bytes = block(size);
  std::array<std::string, kDesigns.size()> bases;
  std::array<std::vector<double>, kDesigns.size()> nanoseconds;
  for (std::size_t design = 0; design < kDesigns.size(); ++design) {
    bases[design] = basePath(kDesigns[design].name);
  }
  std::size_t round = 0;
  for (auto _ : state) {
    for (std::size_t turn = 0; turn < kDesigns.size(); ++turn) {
      const std::size_t design = (round + turn) % kDesigns.size();
      const std::string file = bases[design] + ".bin";
      const auto start = std::chrono::steady_clock::now();
      const bool saved = kDesigns[design].save(bytes, bases[design], file);
      const auto stop = std::chrono::steady_clock::now();
      if (!saved) {
        state.SkipWithError((std::string(kDesigns[design].name) + " save failed").c_str());
        return;
      }
      nanoseconds[design].push_back(std::chrono::duration<double, std::nano>(stop - start).count());
    }
    ++round;
  }
  const double floor = median(nanoseconds[0]);
  // The module against the recipe one writes by hand with the same streams.
  state.counters["module/stdio"] = median(nanoseconds[1]) / median(nanoseconds[3]);
  for (std::size_t design = 0; design < kDesigns.size(); ++design) {
    const double typical = median(nanoseconds[design]);
    state.counters[std::string(kDesigns[design].name) + "_ns"] = typical;
    if (design > 0) {
      state.counters[std::string(kDesigns[design].name) + "/floor"] = typical / floor;
    }
    ::unlink((bases[design] + ".bin").c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(size));
}

void sizes(benchmark::internal::Benchmark* bench) {
  for (const std::int64_t size : {0L, 100L, 4L << 10, 64L << 10, 1L << 20, 16L << 20, 64L << 20}) {
    bench->Arg(size);
  }
}

BENCHMARK(Compare)->Apply(sizes)->MinTime(1.0)->UseRealTime();

// Gathers each repetition's counters while the console report goes on as usual, and prints the
// medians over the repetitions at the end.
class RatioTable : public benchmark::ConsoleReporter {
 public:
  RatioTable() : ConsoleReporter(::isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        auto& row = rows_[std::stoll(run.run_name.args)];
        for (const auto& [name, counter] : run.counters) {
          row[name].push_back(counter.value);
        }
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void print() const {
    std::printf("\n%10s %13s %15s %12s %13s %12s %13s\n", "bytes", "module/floor", "ofstream/floor",
                "stdio/floor", "module/stdio", "floor MB/s", "module MB/s");
    for (const auto& [size, row] : rows_) {
      const auto typical = [&row = row](const char* name) { return median(row.at(name)); };
      const auto rate = [size = size](double nanoseconds) {
        return nanoseconds > 0 ? static_cast<double>(size) / nanoseconds * 1e3 : 0.0;
      };
      std::printf("%10lld %13.3f %15.3f %12.3f %13.3f %12.0f %13.0f\n",
                  static_cast<long long>(size), typical("module/floor"), typical("ofstream/floor"),
                  typical("stdio/floor"), typical("module/stdio"), rate(typical("floor_ns")),
                  rate(typical("module_ns")));
    }
  }

 private:
  std::map<long long, std::map<std::string, std::vector<double>>> rows_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("target folder: %s\n", targetFolder().c_str());
  RatioTable table;
  benchmark::RunSpecifiedBenchmarks(&table);
  benchmark::Shutdown();
  table.print();
  return 0;
}
