#include "check/plugin_calls.h"

#include <algorithm>

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
  const std::optional<std::string> content = fileContent(path);
  return content ? std::optional(Bytes(content->begin(), content->end())) : std::nullopt;
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

std::string compareFile(const std::string& path, const Bytes& expected, const std::string& what) {
  const std::string name = printable(lastComponent(path));
  const auto held = readFile(path);
  if (!held) {
    return "no file " + name + ", expected it to hold " + std::to_string(expected.size()) +
           " bytes";
  }
  if (held->size() != expected.size()) {
    return name + " holds " + std::to_string(held->size()) + " bytes, expected " +
           std::to_string(expected.size());
  }
  const auto differs = std::mismatch(held->begin(), held->end(), expected.begin());
  if (differs.first != held->end()) {
    return name + " differs at byte " + std::to_string(differs.first - held->begin()) +
           ", expected " + what;
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

}  // namespace rawout
