// Loads an export plug-in the way the Velmont host does: by path, then its three entry points by
// name.
#pragma once

#include <rawout/export_plugin.h>

#include <cstdint>
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

  int savePrgmFile(const void* data, std::uint32_t size, const char* baseName,
                   char* extOut) const noexcept {
    return save_(data, size, baseName, extOut);
  }
  [[nodiscard]] const char* description() const noexcept { return describe_(); }
  [[nodiscard]] int about() const noexcept { return about_(); }

 private:
  std::string path_;
  void* library_ = nullptr;
  SavePrgmFileProc save_ = nullptr;
  GetPluginDescriptionProc describe_ = nullptr;
  AboutProc about_ = nullptr;
};

// The rawout module that sits beside the running executable.
std::string defaultPluginPath();

// The channel through which a failed save says why: errno on POSIX; on Windows the thread's
// last-error code, which a host reads whatever C runtime the plug-in was built with. Clear it
// before the call and read it at once after.
void clearFailureCause() noexcept;
// The cause in the system's words, or an empty string when the plug-in left none.
std::string failureCause();

}  // namespace rawout
