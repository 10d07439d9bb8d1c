#include "check/checks.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "check/process_state.h"
#include "loader/extension_buffer.h"
#include "support/paths.h"

namespace rawout {

namespace {

using Bytes = std::vector<unsigned char>;

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
    return lastComponent(path) + " differs at byte " +
           std::to_string(differs.first - held->begin()) + ", expected the bytes handed over";
  }
  return {};
}

std::string hex(unsigned char byte) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[byte >> 4], kDigits[byte & 15]};
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const auto& part : parts) {
    text += (text.empty() ? "" : "; ") + part;
  }
  return text;
}

Bytes everyByteValue() {
  Bytes bytes(256);
  for (std::size_t value = 0; value < bytes.size(); ++value) {
    bytes[value] = static_cast<unsigned char>(value);
  }
  return bytes;
}

using Saved = ExportPlugin::SaveOutcome;

// One save as a host makes it, in the check's folder, with the five-byte buffer (or none).
Saved save(const CheckContext& context, const void* data, std::size_t size, const std::string& name,
           const ExtensionBuffer* buffer) {
  if (buffer != nullptr) {
    buffer->reset();
  }
  const std::string baseName = context.folder + "/" + name;
  return context.plugin.saveReporting(data, static_cast<std::uint32_t>(size), baseName.c_str(),
                                      buffer != nullptr ? buffer->get() : nullptr);
}

std::string unexpected(const Saved& saved, int expected) {
  return "result " + std::to_string(saved.result) +
         (saved.cause.empty() ? std::string() : " (" + saved.cause + ")") + ", expected " +
         std::to_string(expected);
}

// Saves `bytes` from `data` as `name` and checks the result, the extension and the file. Returns
// the failure; `extension` receives what the plug-in reported.
std::string saveExactly(const CheckContext& context, const Bytes& bytes, const void* data,
                        const std::string& name, std::string* extension = nullptr) {
  const ExtensionBuffer buffer;
  const Saved saved = save(context, data, bytes.size(), name, &buffer);
  if (saved.result != 1) {
    return unexpected(saved, 1);
  }
  const auto reported = buffer.text();
  if (!reported) {
    return "no terminating zero in the extension's " + std::to_string(ExtensionBuffer::kBytes) +
           " bytes, expected one";
  }
  if (reported->empty() || reported->front() != '.') {
    return R"(extension ")" + *reported + R"(", expected one starting with ".")";
  }
  if (extension != nullptr) {
    *extension = *reported;
  }
  return compareFile(context.folder + "/" + name + *reported, bytes);
}

// The saves a host makes of every kind: a block, an empty one, one with no extension buffer and
// one into a missing folder. Their failures are other checks' business.
void typicalSaves(const CheckContext& context) {
  const ExtensionBuffer buffer;
  const Bytes block = pattern(1000, 7);
  (void)save(context, block.data(), block.size(), "typical", &buffer);
  (void)save(context, block.data(), 0, "typical-empty", &buffer);
  (void)save(context, block.data(), block.size(), "typical-no-extout", nullptr);
  (void)save(context, block.data(), block.size(), "missing/typical", &buffer);
}

Verdict description(const CheckContext& context) {
  const char* text = context.plugin.description();
  if (text == nullptr) {
    return Verdict::fail("a null address, expected the display name");
  }
  const std::size_t length = ::strnlen(text, kMaxDescriptionBytes);
  if (length == 0) {
    return Verdict::fail("an empty text, expected the display name");
  }
  if (length == kMaxDescriptionBytes) {
    return Verdict::fail("no terminator within " + std::to_string(kMaxDescriptionBytes) + " bytes");
  }
  for (std::size_t index = 0; index < length; ++index) {
    const auto byte = static_cast<unsigned char>(text[index]);
    if (byte < 0x20 || byte == 0x7F) {
      return Verdict::fail("control byte 0x" + hex(byte) + " at " + std::to_string(index) +
                           ", expected printable 8-bit text");
    }
  }
  return Verdict::pass();
}

Verdict descriptionAddress(const CheckContext& context) {
  const char* first = context.plugin.description();
  const char* fromAnotherThread = nullptr;
  std::thread([&] { fromAnotherThread = context.plugin.description(); }).join();
  const char* again = context.plugin.description();
  if (again != first || fromAnotherThread != first) {
    return Verdict::fail(
        "another address on a later call or another thread, expected the same one");
  }
  return Verdict::pass();
}

Verdict descriptionAfterSaves(const CheckContext& context) {
  const auto text = [&context] {
    const char* now = context.plugin.description();
    return now == nullptr ? std::string() : std::string(now, ::strnlen(now, kMaxDescriptionBytes));
  };
  const std::string before = text();
  typicalSaves(context);
  if (text() != before) {
    return Verdict::fail("the text changed after saves, expected it constant");
  }
  return Verdict::pass();
}

Verdict everyByteValue(const CheckContext& context) {
  const Bytes bytes = everyByteValue();
  return Verdict::failIf(saveExactly(context, bytes, bytes.data(), "all"));
}

Verdict emptyBlock(const CheckContext& context) {
  const unsigned char somewhere = 0;
  std::string failure = saveExactly(context, {}, &somewhere, "empty");
  if (!failure.empty()) {
    return Verdict::fail(failure);
  }
  const std::string withNull = saveExactly(context, {}, nullptr, "empty-null");
  if (!withNull.empty()) {
    return Verdict::fail("with a null address: " + withNull);
  }
  return Verdict::pass();
}

// Saved once long, then short: the file must hold the short block alone.
Verdict truncates(const CheckContext& context) {
  const Bytes longer = pattern(10000, 1);
  std::string failure = saveExactly(context, longer, longer.data(), "shrink");
  if (!failure.empty()) {
    return Verdict::fail(failure);
  }
  const Bytes shorter = pattern(100, 2);
  return Verdict::failIf(saveExactly(context, shorter, shorter.data(), "shrink"));
}

Verdict nullExtOut(const CheckContext& context) {
  const Bytes block = pattern(300, 3);
  std::string extension;
  if (const std::string failure =
          saveExactly(context, block, block.data(), "with-extout", &extension);
      !failure.empty()) {
    return Verdict::fail("with a buffer first: " + failure);
  }
  const Saved saved = save(context, block.data(), block.size(), "no-extout", nullptr);
  if (saved.result != 1) {
    return Verdict::fail(unexpected(saved, 1));
  }
  return Verdict::failIf(compareFile(context.folder + "/no-extout" + extension, block));
}

Verdict missingFolder(const CheckContext& context) {
  const ExtensionBuffer buffer;
  const Bytes block = pattern(300, 3);
  const Saved saved = save(context, block.data(), block.size(), "missing/prog", &buffer);
  if (saved.result != 0) {
    return Verdict::fail(unexpected(saved, 0));
  }
  if (!buffer.untouched()) {
    return Verdict::fail("extension buffer written, expected it untouched");
  }
  if (folderEntries(context.folder).contains("missing")) {
    return Verdict::fail("the folder was created, expected nothing");
  }
  return Verdict::pass();
}

Verdict largeBlock(const CheckContext& context) {
  const Bytes large = pattern(std::size_t{16} << 20, 4);
  return Verdict::failIf(saveExactly(context, large, large.data(), "large"));
}

Verdict threads(const CheckContext& context) {
  constexpr int kThreads = 8;
  std::vector<Bytes> blocks;
  blocks.reserve(kThreads);
  for (int thread = 0; thread < kThreads; ++thread) {
    blocks.push_back(pattern(65536 + static_cast<std::size_t>(thread) * 1000, 100 + thread));
  }
  std::array<std::string, kThreads> failures;
  std::vector<std::thread> savers;
  savers.reserve(kThreads);
  for (int thread = 0; thread < kThreads; ++thread) {
    savers.emplace_back([&, thread] {
      const Bytes& bytes = blocks[thread];
      failures[thread] =
          saveExactly(context, bytes, bytes.data(), "thread" + std::to_string(thread));
    });
  }
  for (auto& saver : savers) {
    saver.join();
  }
  const auto* const failed =
      std::find_if(failures.begin(), failures.end(),
                   [](const std::string& failure) { return !failure.empty(); });
  return failed == failures.end() ? Verdict::pass() : Verdict::fail(*failed);
}

// Settings (signal handling, limits, folder, locale, ...) must be as they were after any call.
// Resources (descriptors, handles, threads, children) must not grow from one round of calls to
// the next: what a runtime sets up once, on its first call, is not a leak.
Verdict processState(const CheckContext& context) {
  // Whatever the platform sets up on a first thread or file is in place before the snapshot.
  std::thread([] {}).join();
  const ProcessState before = currentProcessState();
  const auto calls = [&context] {
    (void)context.plugin.description();
    typicalSaves(context);
  };
  calls();
  const ProcessState between = currentProcessState();
  calls();
  const ProcessState after = currentProcessState();
  return Verdict::failIf(joined(changesOverCalls(before, between, after)));
}

Verdict quiet(const CheckContext& context) {
  std::string captured;
  {
    OutputCapture output(context.hostFiles + "/output");
    (void)context.plugin.description();
    typicalSaves(context);
    captured = output.stop();
  }
  if (!captured.empty()) {
    return Verdict::fail(std::to_string(captured.size()) +
                         " bytes written to standard output or error, expected none");
  }
  return Verdict::pass();
}

Verdict noStrayFiles(const CheckContext& context) {
  char workingFolder[4096] = ".";
  const std::set<std::string> workingBefore = folderEntries(workingFolder);
  const Bytes block = pattern(300, 5);
  std::string extension;
  if (const std::string failure = saveExactly(context, block, block.data(), "prog", &extension);
      !failure.empty()) {
    return Verdict::fail("saving: " + failure);
  }
  (void)save(context, block.data(), 0, "empty", nullptr);
  (void)save(context, block.data(), block.size(), "missing/prog", nullptr);
  const std::set<std::string> expected = {"prog" + extension, "empty" + extension};
  std::vector<std::string> strays;
  for (const auto& name : folderEntries(context.folder)) {
    if (!expected.contains(name)) {
      strays.push_back(name);
    }
  }
  for (const auto& name : folderEntries(workingFolder)) {
    if (!workingBefore.contains(name)) {
      strays.push_back("./" + name);
    }
  }
  if (!strays.empty()) {
    return Verdict::fail("found " + joined(strays) + ", expected only the outputs");
  }
  return Verdict::pass();
}

Verdict about(const CheckContext& context) {
  const int result = context.plugin.about();
  return result == 1 ? Verdict::pass()
                     : Verdict::fail("result " + std::to_string(result) +
                                     ", expected 1 once the box is dismissed");
}

// Loading is the check: it ran before the plug-in could be called at all.
Verdict entryPoints(const CheckContext& /*context*/) { return Verdict::pass(); }

constexpr std::array kChecks = {
    Check{kEntryPoints, "loads, with SavePrgmFile, GetPluginDescription and About exported",
          entryPoints},
    Check{"description", "names its format in non-empty printable text, terminated within 1 KiB",
          description},
    Check{"description-address",
          "gives the same address for its name on every call and on every thread",
          descriptionAddress},
    Check{"every-byte-value",
          "writes all 256 byte values unchanged and reports its extension within 5 bytes",
          everyByteValue},
    Check{"empty-block", "saves an empty block, from an address or from null, as an empty file",
          emptyBlock},
    Check{"truncates", "leaves only the new block in a file that held a longer one", truncates},
    Check{"null-extout", "saves the same file when the host passes no extension buffer",
          nullExtOut},
    Check{"missing-folder",
          "gives 0 for a folder that does not exist, creating nothing and leaving the buffer alone",
          missingFolder},
    Check{"large-block", "writes a 16 MiB block unchanged", largeBlock},
    Check{"threads", "saves from 8 threads at once, each file exact", threads},
    Check{"description-after-saves", "keeps its name unchanged by saves", descriptionAfterSaves},
    Check{"process-state",
          "leaves the host's signals, limits, threads, children, descriptors, folder, umask, "
          "environment, locale and floating-point settings as it found them",
          processState},
    Check{"quiet", "writes nothing to the host's standard output or error", quiet},
    Check{"no-stray-files", "writes no file but its outputs, in their folder or the working one",
          noStrayFiles},
    Check{kAbout, "shows its about box and gives 1 once it is dismissed (only with --about)",
          about},
};

}  // namespace

std::span<const Check> allChecks() { return kChecks; }

const Check* findCheck(std::string_view name) {
  const auto* found = std::find_if(kChecks.begin(), kChecks.end(),
                                   [name](const Check& check) { return check.name == name; });
  return found == kChecks.end() ? nullptr : found;
}

std::vector<unsigned char> pattern(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  // Eight bytes a step: a 16 MiB block is made quickly even in an instrumented build.
  std::uint64_t state = seed | 1U;
  for (std::size_t index = 0; index < size; index += sizeof state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    std::memcpy(bytes.data() + index, &state, std::min(sizeof state, size - index));
  }
  return bytes;
}

}  // namespace rawout
