// Loads an export plug-in the way the Velmont host does: by path, then its three entry points by
// name.
#pragma once

#include <rawout/export_plugin.h>

#include "loader/checked_call.h"

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>

namespace rawout {

class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ExportPlugin {
 public:
  // Loads exactly the file at `path`, never one found by the system's library search. Throws
  // LoadError naming the path, and the symbol when one is missing.
  explicit ExportPlugin(std::string path);
  ~ExportPlugin();
  ExportPlugin(const ExportPlugin&) = delete;
  ExportPlugin& operator=(const ExportPlugin&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }
  // Keeps the module loaded when this goes: for one whose unload hangs or crashes.
  void leaveLoaded() noexcept { library_ = nullptr; }
  // Unloads the module now, as its going would; no call may follow.
  void unload() noexcept;

  // Each call goes through the architecture's thunk (checked_call.h), which keeps the host whole
  // whatever the plug-in does to the registers it should keep, and notes what it broke.
  int savePrgmFile(const void* data, std::uint32_t size, const char* baseName,
                   char* extOut) const noexcept;
  struct SaveOutcome {
    int result;
    std::string cause;  // what the plug-in left when the result is not 1, in the system's words
  };
  // What the block is: memory the plug-in may only read already (a mapped input, a shared
  // section), or the host's own, which is first copied into such memory.
  enum class Block { ReadOnly, Copied };
  // A save as a host makes it: the base name (and a block of the host's own) in memory the
  // plug-in may only read, so that a write into either is a fault a FaultTrap names; the failure
  // channel cleared just before and read at once after. Throws std::bad_alloc when no pages for
  // the copies can be had.
  [[nodiscard]] SaveOutcome saveAsAHost(const void* data, std::uint32_t size,
                                        const std::string& baseName, char* extOut,
                                        Block block = Block::ReadOnly) const;
  [[nodiscard]] const char* description() const noexcept;
  [[nodiscard]] int about() const noexcept;
  // What the first call that broke the calling convention broke ("SavePrgmFile returned with rbx
  // changed, ..."), or "".
  [[nodiscard]] std::string brokenConvention() const;

 private:
  std::string path_;
  void* library_ = nullptr;
  SavePrgmFileProc save_ = nullptr;
  GetPluginDescriptionProc describe_ = nullptr;
  AboutProc about_ = nullptr;
  void note(const CallRecord& record, std::size_t argumentBytes,
            const char* entryPoint) const noexcept;

  mutable std::mutex brokenLock_;
  mutable std::string broken_;
};

// The plug-in's display name, or a placeholder that reads when it names no format.
std::string displayNameOf(const ExportPlugin& plugin);

// The rawout module installed with the running executable: beside it (the build tree, Windows),
// else in the module folder found from its own (a Linux install).
std::string defaultPluginPath();

// Every command's words for a plug-in path that names no file at all (rather than one the
// system cannot look at, which the loader's own words explain): "'x.so': no such file".
bool namesNoFile(const std::string& path);
std::string noSuchPlugin(const std::string& path);

}  // namespace rawout
