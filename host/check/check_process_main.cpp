#include "check/check_process_main.h"

#include <cstdio>
#include <optional>
#include <stdexcept>

#include "check/check_process.h"
#include "check/checks.h"
#include "check/protocol.h"
#include "loader/extension_buffer.h"
#include "loader/fault_trap.h"
#include "support/file_identity.h"

#ifdef _WIN32
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace rawout {

namespace {

// The verdict goes into a file opened before the check and written after, so that a plug-in
// that closes descriptors or lowers the limit on them cannot silence it.
class VerdictFile {
 public:
  explicit VerdictFile(std::string path)
      : path_(std::move(path)), file_(std::fopen(path_.c_str(), "wb")) {
    identity_ = identityOf(path_);
  }
  VerdictFile(const VerdictFile&) = delete;
  VerdictFile& operator=(const VerdictFile&) = delete;
  ~VerdictFile() = default;

  // False when neither the file opened before nor a new one could take it.
  [[nodiscard]] bool write(const Verdict& verdict) {
    const std::string text = verdict.encoded();
    // The same file, unless the plug-in closed its descriptor and another took the number.
    if (file_ != nullptr && identityOf(path_) == identity_ &&
        std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0) {
      return true;
    }
    std::FILE* again = std::fopen(path_.c_str(), "wb");
    return again != nullptr && std::fwrite(text.data(), 1, text.size(), again) == text.size() &&
           std::fclose(again) == 0;
  }

 private:
  std::string path_;
  std::FILE* file_;
  std::optional<FileIdentity> identity_;
};

bool enter(const std::string& folder) {
#ifdef _WIN32
  return ::_chdir(folder.c_str()) == 0;
#else
  return ::chdir(folder.c_str()) == 0;
#endif
}

}  // namespace

int runCheckProcessMain(const std::vector<std::string>& arguments) {
  if (arguments.size() != 3 || findCheck(arguments[0]) == nullptr) {
    return kCheckProcessTrouble;
  }
  prepareCheckProcess();
  const Check& check = *findCheck(arguments[0]);
  const CheckFolder folder(arguments[2]);
  VerdictFile verdictFile(folder.verdictFile());
  Verdict verdict;
  {
    FaultTrap faults(Verdict::fail("wrote past " + ExtensionBuffer::described()).encoded());
    faults.reportInto(folder.verdictFile());
    try {
      if (!enter(folder.workingFolder())) {
        verdict = Verdict::ownTrouble("exporthost could not enter the check's working folder");
      } else {
        const ExportPlugin plugin(arguments[1]);
        verdict = check.run({plugin, folder.files()});
      }
    } catch (const LoadError& error) {
      verdict = Verdict::notLoaded(std::string(error.what()) + ", expected the three entry points");
    } catch (const std::exception& error) {
      verdict = Verdict::fail(error.what());
    }
    // The plug-in is unloaded by now: a fault while it unloads counts against the check too.
  }
  if (!verdictFile.write(verdict)) {
    // The parent tells this from a plug-in's own exit by the status and this line together.
    (void)std::fprintf(stderr, "%s%s\n", kCheckProcessTroublePrefix,
                       "cannot write the check's verdict");
    return kCheckProcessTrouble;
  }
  return 0;
}

}  // namespace rawout
