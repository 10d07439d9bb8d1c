#include "plugin_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "paths.h"
#include "plugin_loader.h"
#include "process_state.h"
#include "scratch_folder.h"

namespace rawout {

namespace {

using Bytes = std::vector<unsigned char>;

// The host's buffer for the extension: five bytes for the plug-in, then guard bytes that it must
// not touch.
constexpr std::size_t kExtensionBytes = 5;
constexpr unsigned char kGuard = 0xA5;
using ExtensionBuffer = std::array<unsigned char, 16>;

// A description longer than this is taken as having no terminator.
constexpr std::size_t kMaxDescriptionBytes = 1024;

std::optional<Bytes> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    return std::nullopt;
  }
  Bytes bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return in ? std::optional(bytes) : std::nullopt;
}

// "all.bin holds 255 bytes, expected 256", or empty when `path` holds exactly `expected`.
std::string compareFile(const std::string& path, const Bytes& expected) {
  const auto held = readFile(path);
  if (!held) {
    return "no file " + lastComponent(path) + ", expected it to hold " +
           std::to_string(expected.size()) + " bytes";
  }
  if (held->size() != expected.size()) {
    return lastComponent(path) + " holds " + std::to_string(held->size()) + " bytes, expected " +
           std::to_string(expected.size());
  }
  const auto differs = std::mismatch(held->begin(), held->end(), expected.begin());
  if (differs.first != held->end()) {
    return lastComponent(path) + " differs at byte " + std::to_string(differs.first - held->begin()) +
           ", expected the bytes handed over";
  }
  return {};
}

std::string hex(unsigned char byte) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[byte >> 4], kDigits[byte & 15]};
}

class Checker {
 public:
  Checker(const ExportPlugin& plugin, const std::string& label)
      : plugin_(plugin), label_(" [" + label + "]") {}

  void pass(const std::string& check) { results_.push_back({check + label_, {}}); }
  void fail(const std::string& check, const std::string& failure) {
    results_.push_back({check + label_, failure});
  }
  void record(const std::string& check, const std::string& failure) {
    failure.empty() ? pass(check) : fail(check, failure);
  }
  std::vector<CheckResult> take() { return std::move(results_); }

  // The plug-in's file for `baseName`: the extension it reports, as it reports it.
  void expectOutput(const std::string& name) { outputs_.insert(name); }
  [[nodiscard]] const std::set<std::string>& outputs() const { return outputs_; }

  void description();
  void descriptionUnchanged();
  // Saves `bytes` and checks the result, the extension buffer and the file. Returns the failure.
  std::string saveExactly(const Bytes& bytes, const void* data, const std::string& folder,
                          const std::string& name);
  void saves(const ScratchFolder& folder);
  void threads(const ScratchFolder& folder);

 private:
  const ExportPlugin& plugin_;
  std::string label_;
  std::vector<CheckResult> results_;
  std::set<std::string> outputs_;
  std::string text_;  // the description as first read
  std::optional<std::string> extension_;
};

void Checker::description() {
  const char* first = plugin_.description();
  if (first == nullptr) {
    fail("description", "a null address, expected the display name");
    return;
  }
  const std::size_t length = ::strnlen(first, kMaxDescriptionBytes);
  std::string problem;
  if (length == 0) {
    problem = "an empty text, expected the display name";
  } else if (length == kMaxDescriptionBytes) {
    problem = "no terminator within " + std::to_string(kMaxDescriptionBytes) + " bytes";
  }
  for (std::size_t index = 0; problem.empty() && index < length; ++index) {
    const auto byte = static_cast<unsigned char>(first[index]);
    if (byte < 0x20 || byte == 0x7F) {
      problem = "control byte 0x" + hex(byte) + " at " + std::to_string(index) +
                ", expected printable 8-bit text";
    }
  }
  record("description", problem);
  text_.assign(first, length);

  const char* fromAnotherThread = nullptr;
  std::thread([&] { fromAnotherThread = plugin_.description(); }).join();
  const char* again = plugin_.description();
  record("description-address",
         again != first || fromAnotherThread != first
             ? "another address on a later call or another thread, expected the same one"
             : std::string());
}

void Checker::descriptionUnchanged() {
  const char* now = plugin_.description();
  record("description-after-saves",
         now == nullptr || std::string(now, ::strnlen(now, kMaxDescriptionBytes)) != text_
             ? "the text changed after the saves, expected it constant"
             : std::string());
}

std::string Checker::saveExactly(const Bytes& bytes, const void* data, const std::string& folder,
                                 const std::string& name) {
  ExtensionBuffer buffer;
  buffer.fill(kGuard);
  const int result =
      plugin_.savePrgmFile(data, static_cast<std::uint32_t>(bytes.size()),
                           (folder + "/" + name).c_str(), reinterpret_cast<char*>(buffer.data()));
  if (result != 1) {
    return "result " + std::to_string(result) + ", expected 1";
  }
  for (std::size_t index = kExtensionBytes; index < buffer.size(); ++index) {
    if (buffer[index] != kGuard) {
      return "extension buffer written at byte " + std::to_string(index) +
             ", expected at most the first " + std::to_string(kExtensionBytes);
    }
  }
  auto* const end = std::find(buffer.begin(), buffer.begin() + kExtensionBytes, 0);
  if (end == buffer.begin() + kExtensionBytes) {
    return "no terminating zero in the extension's " + std::to_string(kExtensionBytes) +
           " bytes, expected one";
  }
  const std::string extension(buffer.begin(), end);
  if (extension.empty() || extension.front() != '.') {
    return R"(extension ")" + extension + R"(", expected one starting with ".")";
  }
  if (extension_ && *extension_ != extension) {
    return "extension \"" + extension + "\", expected \"" + *extension_ + "\" as before";
  }
  extension_ = extension;
  expectOutput(name + extension);
  return compareFile(folder + "/" + name + extension, bytes);
}

void Checker::saves(const ScratchFolder& folder) {
  Bytes everyValue(256);
  for (std::size_t value = 0; value < everyValue.size(); ++value) {
    everyValue[value] = static_cast<unsigned char>(value);
  }
  record("every-byte-value", saveExactly(everyValue, everyValue.data(), folder.path(), "all"));

  const Bytes none;
  const unsigned char somewhere = 0;
  std::string empty = saveExactly(none, &somewhere, folder.path(), "empty");
  if (empty.empty()) {
    empty = saveExactly(none, nullptr, folder.path(), "empty-null");
    empty = empty.empty() ? empty : "with a null address: " + empty;
  }
  record("empty-block", empty);

  // Saved once long, then short: the file must hold the short block alone.
  const Bytes longer = pattern(10000, 1);
  std::string truncates = saveExactly(longer, longer.data(), folder.path(), "shrink");
  if (truncates.empty()) {
    const Bytes shorter = pattern(100, 2);
    truncates = saveExactly(shorter, shorter.data(), folder.path(), "shrink");
  }
  record("truncates", truncates);

  const Bytes block = pattern(300, 3);
  const int quiet =
      plugin_.savePrgmFile(block.data(), 300, (folder / "no-extout").c_str(), nullptr);
  if (quiet != 1) {
    fail("null-extout", "result " + std::to_string(quiet) + ", expected 1");
  } else if (!extension_) {
    fail("null-extout", "no extension reported by any save, expected one to find the file");
  } else {
    expectOutput("no-extout" + *extension_);
    record("null-extout", compareFile(folder / ("no-extout" + *extension_), block));
  }

  ExtensionBuffer untouched;
  untouched.fill(kGuard);
  ExtensionBuffer buffer = untouched;
  const int missing = plugin_.savePrgmFile(block.data(), 300, (folder / "missing/prog").c_str(),
                                           reinterpret_cast<char*>(buffer.data()));
  if (missing != 0) {
    fail("missing-folder", "result " + std::to_string(missing) + ", expected 0");
  } else if (buffer != untouched) {
    fail("missing-folder", "extension buffer written, expected it untouched");
  } else {
    record("missing-folder", folderEntries(folder.path()).contains("missing")
                                 ? "the folder was created, expected nothing"
                                 : std::string());
  }

  const Bytes large = pattern(std::size_t{16} << 20, 4);
  record("large-block", saveExactly(large, large.data(), folder.path(), "large"));
}

void Checker::threads(const ScratchFolder& folder) {
  constexpr int kThreads = 8;
  std::array<std::string, kThreads> failures;
  std::vector<std::thread> savers;
  savers.reserve(kThreads);
  std::vector<Bytes> blocks;
  blocks.reserve(kThreads);
  for (int thread = 0; thread < kThreads; ++thread) {
    blocks.push_back(pattern(65536 + static_cast<std::size_t>(thread) * 1000, 100 + thread));
  }
  // Each thread checks its own file; the shared extension and outputs are recorded afterwards.
  std::array<std::optional<std::string>, kThreads> extensions;
  for (int thread = 0; thread < kThreads; ++thread) {
    savers.emplace_back([&, thread] {
      const std::string name = "thread" + std::to_string(thread);
      ExtensionBuffer buffer{};
      const Bytes& bytes = blocks[thread];
      if (plugin_.savePrgmFile(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                               (folder / name).c_str(),
                               reinterpret_cast<char*>(buffer.data())) != 1) {
        failures[thread] = name + ": result other than 1";
        return;
      }
      extensions[thread] =
          std::string(reinterpret_cast<const char*>(buffer.data()),
                      ::strnlen(reinterpret_cast<const char*>(buffer.data()), kExtensionBytes));
      failures[thread] = compareFile(folder / (name + *extensions[thread]), bytes);
    });
  }
  for (auto& saver : savers) {
    saver.join();
  }
  std::string failure;
  for (int thread = 0; thread < kThreads; ++thread) {
    if (extensions[thread]) {
      expectOutput("thread" + std::to_string(thread) + *extensions[thread]);
    }
    if (failure.empty() && !failures[thread].empty()) {
      failure = failures[thread];
    }
  }
  record("threads", failure);
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const auto& part : parts) {
    text += (text.empty() ? "" : "; ") + part;
  }
  return text;
}

}  // namespace

std::vector<unsigned char> pattern(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  std::uint32_t state = seed | 1U;
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<unsigned char>(state);
  }
  return bytes;
}

std::vector<CheckResult> checkPlugin(const std::string& path, bool about) {
  const std::string label = lastComponent(path);
  std::unique_ptr<ExportPlugin> plugin;
  try {
    plugin = std::make_unique<ExportPlugin>(path);
  } catch (const LoadError& error) {
    return {{"entry-points [" + label + "]",
             std::string(error.what()) + ", expected the three entry points"}};
  }
  Checker checker(*plugin, label);
  checker.pass("entry-points");

  const ScratchFolder outputs;
  const ScratchFolder hostFiles;
  const std::string workingFolder = currentProcessState().workingFolder;
  const std::set<std::string> workingFolderEntries = folderEntries(workingFolder);
  // Whatever the platform sets up on a first thread or file is in place before the snapshot.
  std::thread([] {}).join();
  std::string captured;
  std::vector<std::string> changed;
  {
    OutputCapture capture(hostFiles / "output");
    const ProcessState before = currentProcessState();
    checker.description();
    checker.saves(outputs);
    checker.threads(outputs);
    checker.descriptionUnchanged();
    changed = differences(currentProcessState(), before);
    captured = capture.stop();
  }
  checker.record("process-state", joined(changed));
  checker.record("quiet", captured.empty() ? std::string()
                                           : std::to_string(captured.size()) +
                                                 " bytes written to standard output or error, "
                                                 "expected none");

  std::vector<std::string> strays;
  for (const auto& name : folderEntries(outputs.path())) {
    if (!checker.outputs().contains(name)) {
      strays.push_back(name);
    }
  }
  for (const auto& name : folderEntries(workingFolder)) {
    if (!workingFolderEntries.contains(name)) {
      strays.push_back(workingFolder);
      strays.back().append("/").append(name);
    }
  }
  checker.record("no-stray-files", strays.empty()
                                       ? std::string()
                                       : "found " + joined(strays) + ", expected only the outputs");
  if (about) {
    const int result = plugin->about();
    checker.record("about", result == 1 ? std::string()
                                        : "result " + std::to_string(result) +
                                              ", expected 1 once the box is dismissed");
  }
  return checker.take();
}

}  // namespace rawout
