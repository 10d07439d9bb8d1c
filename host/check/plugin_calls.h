// The calls the checks make into a plug-in, as a host makes them, and what they read back.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "check/registry.h"
#include "loader/extension_buffer.h"
#include "support/files.h"

namespace rawout {

using Saved = ExportPlugin::SaveOutcome;

// One save under `baseName` as it is, with a freshly marked extension buffer, or none; the block
// and the name in memory the plug-in may only read.
Saved saveAs(const CheckContext& context, const void* data, std::size_t size,
             const std::string& baseName, ExtensionBuffer* buffer);
// One save into the check's folder, the same way.
Saved save(const CheckContext& context, const void* data, std::size_t size, const std::string& name,
           ExtensionBuffer* buffer);
// "result 0 (No space left on device), expected 1"
std::string unexpected(const Saved& saved, int expected);

// The file a save of `name` makes: the check's folder, the name and the extension.
std::string outputFile(const CheckContext& context, const std::string& name,
                       const std::string& extension);

// The file's bytes, or none.
std::optional<Bytes> readFile(const std::string& path);

// A save that must work: result 1 and an extension that names the file. The verdict otherwise:
// Fail for another result; Skip for an extension the host cannot use, which is the extension
// check's business.
std::optional<Verdict> saveWell(const CheckContext& context, const Bytes& bytes, const void* data,
                                const std::string& name, std::string& extension);

// A save that must work and leave its file: saveWell's verdict, or Fail for no file.
std::optional<Verdict> saveWithAFile(const CheckContext& context, const Bytes& bytes,
                                     const void* data, const std::string& name);

// What the plug-in writes for `bytes` saved alone as `name`, into a fresh file, twice over, so
// that a later save can be compared with like: the same block under the same name. The verdict
// instead when that cannot be told: a failed save, or output that differs from one save to the
// next, which is the reproducible check's business (Skip).
std::optional<Verdict> outputAlone(const CheckContext& context, const Bytes& bytes,
                                   const std::string& name, Bytes& output, std::string& extension);

// "" when `path` holds `expected`; else what differs, and where first, both sides shown: by the
// line for text ("all.hex differs from " + `what` + " at byte 25, line 2: \"...\", expected
// \"...\""), else the bytes about it ("all.raw holds 257 bytes, expected 256; the first difference
// from ... at byte 10: 08 09 [0D] 0A 0B, expected 08 09 [0A] 0B 0C").
std::string compareFile(const std::string& path, const Bytes& expected, const std::string& what);

// Runs `work` on a thread of its own and waits for it. CheckTrouble when the system gives no
// thread: that is no fault of the plug-in's.
void onAnotherThread(const std::function<void()>& work);

// The saves a host makes of every kind: a block, an empty one, one with no extension buffer and
// one into a missing folder. Their outcome is other checks' business, but for a file left open
// after result 1, which is said ("typical.raw still open on descriptor 7 ..."); else "".
std::string typicalSaves(const CheckContext& context);

}  // namespace rawout
