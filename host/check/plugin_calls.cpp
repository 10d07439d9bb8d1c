#include "check/plugin_calls.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <thread>

#include "check/process_state.h"
#include "loader/read_only_copy.h"
#include "support/file_identity.h"
#include "support/files.h"
#include "support/paths.h"
#include "support/printable.h"

namespace rawout {

Saved saveAs(const CheckContext& context, const void* data, std::size_t size,
             const std::string& baseName, ExtensionBuffer* buffer) {
  if (buffer != nullptr) {
    buffer->reset();
  }
  // As a host may hand them over: from memory the plug-in can only read.
  const ReadOnlyCopy block(data, size, "the block");
  const ReadOnlyCopy name(baseName.c_str(), baseName.size() + 1, "the base name");
  return context.plugin.saveReporting(block.data(), static_cast<std::uint32_t>(size), name.text(),
                                      buffer != nullptr ? buffer->get() : nullptr);
}

Saved save(const CheckContext& context, const void* data, std::size_t size, const std::string& name,
           ExtensionBuffer* buffer) {
  return saveAs(context, data, size, context.folder + "/" + name, buffer);
}

std::string unexpected(const Saved& saved, int expected) {
  return "result " + std::to_string(saved.result) +
         (saved.cause.empty() ? std::string() : " (" + saved.cause + ")") + ", expected " +
         std::to_string(expected);
}

std::string outputFile(const CheckContext& context, const std::string& name,
                       const std::string& extension) {
  std::string path = context.folder;
  path.append("/").append(name).append(extension);
  return path;
}

std::optional<Bytes> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  if (size < 0) {
    return std::nullopt;
  }
  Bytes bytes = zeroBytes(static_cast<std::size_t>(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return in ? std::optional(std::move(bytes)) : std::nullopt;
}

std::optional<Verdict> saveWell(const CheckContext& context, const Bytes& bytes, const void* data,
                                const std::string& name, std::string& extension) {
  ExtensionBuffer buffer;
  const Saved saved = save(context, data, bytes.size(), name, &buffer);
  if (saved.result != 1) {
    return Verdict::fail(name + ": " + unexpected(saved, 1));
  }
  const auto reported = buffer.text();
  if (!reported || reported->empty() || reported->front() != '.') {
    return Verdict::skip("the plug-in reports no extension a host can use; see the " +
                         std::string(kExtension) + " check");
  }
  extension = *reported;
  return std::nullopt;
}

std::optional<Verdict> saveWithAFile(const CheckContext& context, const Bytes& bytes,
                                     const void* data, const std::string& name) {
  std::string extension;
  if (auto problem = saveWell(context, bytes, data, name, extension)) {
    return problem;
  }
  // Whether it is there, not what it holds: the content check reads files.
  if (!identityOf(outputFile(context, name, extension))) {
    return Verdict::fail("no file " + printable(name + extension) + " after result 1");
  }
  return std::nullopt;
}

std::optional<Verdict> outputAlone(const CheckContext& context, const Bytes& bytes,
                                   const std::string& name, Bytes& output, std::string& extension) {
  std::optional<Bytes> first;
  for (int round = 0; round < 2; ++round) {
    if (auto problem = saveWell(context, bytes, bytes.data(), name, extension)) {
      return problem;
    }
    const std::string file = outputFile(context, name, extension);
    auto held = readFile(file);
    removeFile(file);
    if (!held) {
      return Verdict::fail("no file " + printable(name + extension) + " after result 1");
    }
    if (first && *first != *held) {
      return Verdict::skip(
          "two saves of one block under one name wrote different bytes; see "
          "the reproducible check");
    }
    first = std::move(held);
  }
  output = std::move(*first);
  return std::nullopt;
}

namespace {

// Printable ASCII, UTF-8, tabs and line ends only: a format of lines, shown by the line.
bool looksLikeText(const Bytes& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](unsigned char byte) {
    return (byte >= 0x20 && byte != 0x7F) || byte == '\t' || byte == '\n' || byte == '\r';
  });
}

// The bytes around `at`, in hex, the one at `at` in brackets: "07 08 [0d] 0a 0b"; "(end)" where
// the file ends.
std::string bytesAround(const Bytes& bytes, std::size_t at) {
  constexpr std::size_t kAround = 4;
  std::string shown;
  for (std::size_t index = at < kAround ? 0 : at - kAround; index <= at + kAround; ++index) {
    shown += shown.empty() ? "" : " ";
    if (index >= bytes.size()) {
      return shown + (index == at ? "[(end)]" : "(end)");
    }
    const std::string hex = {kHexDigits[bytes[index] >> 4], kHexDigits[bytes[index] & 15]};
    shown += index == at ? "[" + hex + "]" : hex;
  }
  return shown;
}

// The line that holds byte `at`, escaped, cut to a window about `at` when it is long.
std::string lineAround(const Bytes& bytes, std::size_t at) {
  constexpr std::size_t kShown = 72;
  const auto before =
      std::find(std::make_reverse_iterator(bytes.begin() +
                                           static_cast<std::ptrdiff_t>(std::min(at, bytes.size()))),
                bytes.rend(), '\n');
  std::size_t start = static_cast<std::size_t>(bytes.rend() - before);
  const auto after =
      std::find(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end(), '\n');
  std::size_t end = static_cast<std::size_t>(after - bytes.begin());
  const bool cutBefore = at > start + kShown / 2;
  start = cutBefore ? at - kShown / 2 : start;
  const bool cutAfter = end > start + kShown;
  end = cutAfter ? start + kShown : end;
  return std::string(cutBefore ? "..." : "") + "\"" +
         printable(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                               bytes.begin() + static_cast<std::ptrdiff_t>(end))) +
         "\"" + (cutAfter ? "..." : "");
}

// Where `held` first differs from `expected`, both sides shown: by the line for text, else the
// bytes about it.
std::string firstDifference(const Bytes& held, const Bytes& expected) {
  const auto differs = std::mismatch(held.begin(), held.end(), expected.begin(), expected.end());
  const auto at = static_cast<std::size_t>(differs.first - held.begin());
  const std::string where = "byte " + std::to_string(at);
  if (looksLikeText(held) && looksLikeText(expected)) {
    const auto line = std::count(held.begin(), differs.first, '\n') + 1;
    return where + ", line " + std::to_string(line) + ": " + lineAround(held, at) + ", expected " +
           lineAround(expected, at);
  }
  return where + ": " + bytesAround(held, at) + ", expected " + bytesAround(expected, at);
}

}  // namespace

std::string compareFile(const std::string& path, const Bytes& expected, const std::string& what) {
  const std::string name = printable(lastComponent(path));
  const auto held = readFile(path);
  if (!held) {
    return "no file " + name + ", expected it to hold " + std::to_string(expected.size()) +
           " bytes";
  }
  if (held->size() != expected.size()) {
    return name + " holds " + std::to_string(held->size()) + " bytes, expected " +
           std::to_string(expected.size()) + "; the first difference from " + what + " at " +
           firstDifference(*held, expected);
  }
  if (*held != expected) {
    return name + " differs from " + what + " at " + firstDifference(*held, expected);
  }
  return {};
}

std::string typicalSaves(const CheckContext& context) {
  ExtensionBuffer buffer;
  const Bytes block = pattern(1000, 7);
  std::string stillOpen;
  if (save(context, block.data(), block.size(), "typical", &buffer).result == 1 && buffer.text()) {
    const std::string name = "typical" + *buffer.text();
    if (const std::string held = heldOpen(outputFile(context, "typical", *buffer.text()));
        !held.empty()) {
      stillOpen = printable(name) + " still open on " + held + " after result 1, expected closed";
    }
  }
  (void)save(context, block.data(), 0, "typical-empty", &buffer);
  (void)save(context, block.data(), block.size(), "typical-no-extout", nullptr);
  (void)save(context, block.data(), block.size(), "missing/typical", &buffer);
  return stillOpen;
}

void onAnotherThread(const std::function<void()>& work) {
  std::thread thread;
  try {
    thread = std::thread(work);
  } catch (const std::system_error& error) {
    throw CheckTrouble("cannot start a thread: " + error.code().message());
  }
  thread.join();
}

}  // namespace rawout
