// The calls the checks make into a plug-in, as a host makes them, and what they read back.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "checks/check.h"
#include "files/files.h"
#include "memory/extension_buffer.h"

namespace rawout {

using Saved = ExportPlugin::SaveOutcome;

// One save under `baseName` as it is, with a freshly marked extension buffer, or none; the block
// and the name in memory the plug-in may only read.
Saved saveUnder(const CheckContext& context, const void* data, std::size_t size,
                const std::string& baseName, ExtensionBuffer* buffer);
// The first damage to a heap that a save left, with the save's name ("after saving \"x\", ..."),
// or "" when none was seen: each save is followed by a look at the heaps.
std::string heapDamageSeen();
// One save into the check's folder, the same way.
Saved save(const CheckContext& context, const void* data, std::size_t size, const std::string& name,
           ExtensionBuffer* buffer);
// "result 0 (No space left on device), expected 1"
std::string unexpected(const Saved& saved, int expected);

// The file a save of `name` makes: the check's folder, the name and the extension.
std::string outputFile(const CheckContext& context, const std::string& name,
                       const std::string& extension);

// What a save that must work must leave besides: anything, or the file it names.
enum class Leaves { Anything, TheFile };
// A save that must work: result 1 and an extension that names the file, into `extension`. The
// verdict otherwise: Fail for another result (or for no file, when it must leave the file); Skip
// for an extension the host cannot use, which is the extension check's business.
std::optional<Verdict> saveWell(const CheckContext& context, ByteView bytes, const void* data,
                                const std::string& name, std::string& extension,
                                Leaves leaves = Leaves::Anything);

// What the plug-in writes for `bytes` saved alone as `name`, into a fresh file, twice over, so
// that a later save can be compared with like: the same block under the same name. The verdict
// instead when that cannot be told: a failed save, or output that differs from one save to the
// next, which is the reproducible check's business (Skip).
std::optional<Verdict> outputAlone(const CheckContext& context, ByteView bytes,
                                   const std::string& name, Bytes& output, std::string& extension);

// Runs `work` on a thread of its own and waits for it. CheckTrouble when the system gives no
// thread: that is no fault of the plug-in's.
void onAnotherThread(const std::function<void()>& work);

// The saves a host makes of every kind: a block, an empty one, one with no extension buffer and
// one into a missing folder. Their outcome is other checks' business, but for a file left open
// after result 1, which is said ("typical.raw still open on descriptor 7 ..."); else "".
std::string typicalSaves(const CheckContext& context);

}  // namespace rawout
