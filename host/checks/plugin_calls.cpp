#include "checks/plugin_calls.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <system_error>
#include <thread>

#include "files/file_identity.h"
#include "files/files.h"
#include "inspect/process_state.h"
#include "text/paths.h"
#include "text/printable.h"

namespace rawout {

namespace {

// Saves run on several threads; the first damage seen is the one to name.
struct HeapDamage {
  std::mutex mutex;
  std::string seen;
};

HeapDamage& heapDamage() {
  static HeapDamage damage;
  return damage;
}

void lookAtTheHeapsAfter(const std::string& baseName) {
  HeapDamage& damage = heapDamage();
  if (std::lock_guard lock(damage.mutex); !damage.seen.empty()) {
    return;
  }
  const std::string damaged = damagedHeap();
  if (damaged.empty()) {
    return;
  }
  std::lock_guard lock(damage.mutex);
  if (damage.seen.empty()) {
    damage.seen = "after saving \"" + printable(lastComponent(baseName)) + "\", " + damaged +
                  " was damaged (a write past a block's end or before its start, or a free of "
                  "what it did not give), expected it whole";
  }
}

}  // namespace

std::string heapDamageSeen() {
  HeapDamage& damage = heapDamage();
  std::lock_guard lock(damage.mutex);
  return damage.seen;
}

Saved saveUnder(const CheckContext& context, const void* data, std::size_t size,
                const std::string& baseName, ExtensionBuffer* buffer) {
  if (buffer != nullptr) {
    buffer->reset();
  }
  // As a host may hand them over: from memory the plug-in can only read.
  Saved saved = context.plugin.saveAsAHost(data, static_cast<std::uint32_t>(size), baseName,
                                           buffer != nullptr ? buffer->get() : nullptr,
                                           ExportPlugin::Block::Copied);
  lookAtTheHeapsAfter(baseName);
  return saved;
}

Saved save(const CheckContext& context, const void* data, std::size_t size, const std::string& name,
           ExtensionBuffer* buffer) {
  return saveUnder(context, data, size, context.folder + "/" + name, buffer);
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

std::optional<Verdict> saveWell(const CheckContext& context, ByteView bytes, const void* data,
                                const std::string& name, std::string& extension, Leaves leaves) {
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
  // Whether it is there, not what it holds: the content check reads files.
  if (leaves == Leaves::TheFile && !identityOf(outputFile(context, name, extension))) {
    return Verdict::fail("no file " + printable(name + extension) + " after result 1");
  }
  return std::nullopt;
}

std::optional<Verdict> outputAlone(const CheckContext& context, ByteView bytes,
                                   const std::string& name, Bytes& output, std::string& extension) {
  std::optional<Bytes> first;
  for (int round = 0; round < 2; ++round) {
    if (auto problem = saveWell(context, bytes, bytes.data(), name, extension)) {
      return problem;
    }
    const std::string file = outputFile(context, name, extension);
    auto held = fileBytes(file);
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
