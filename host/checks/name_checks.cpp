// The names a host forms, each saved under as exactly that file.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "checks/bodies.h"
#include "checks/plugin_calls.h"
#include "files/file_identity.h"
#include "files/files.h"
#include "text/joined.h"
#include "text/paths.h"
#include "text/printable.h"

namespace rawout {

namespace {

constexpr std::size_t kLongestBaseName = RAWOUT_BASE_NAME_MAX;

// Each save under `baseName` (as handed over, which may be relative) must make exactly the file
// `fileName` + the extension in the check's folder; when `mayRefuse`, a 0 that makes nothing
// will do too. "" or what went wrong.
std::string savedAsNamed(const CheckContext& context, const Bytes& block,
                         const std::string& baseName, const std::string& fileName, bool mayRefuse) {
  const std::set<std::string> before = folderEntries(context.folder);
  ExtensionBuffer buffer;
  const Saved saved = saveUnder(context, block.data(), block.size(), baseName, &buffer);
  std::vector<std::string> made;
  for (const std::string& entry : folderEntries(context.folder)) {
    if (!before.contains(entry)) {
      made.push_back(entry);
    }
  }
  const auto shown = [](const std::vector<std::string>& names) {
    std::vector<std::string> each;
    each.reserve(names.size());
    for (const std::string& name : names) {
      each.push_back("\"" + printable(name) + "\"");
    }
    return each.empty() ? std::string("nothing") : joined(each, ", ");
  };
  const std::string what =
      "base name \"" + printable(baseName) + "\" (" + std::to_string(baseName.size()) + " bytes): ";
  if (saved.result == 0 && mayRefuse) {
    return made.empty() ? "" : what + "result 0 and made " + shown(made) + ", expected nothing";
  }
  if (saved.result != 1) {
    return what + unexpected(saved, 1);
  }
  const auto extension = buffer.text();
  if (!extension) {
    return {};  // the extension check's business
  }
  // Files beside it are the no-stray-files check's business.
  const std::string expected = fileName + *extension;
  for (const std::string& name : made) {
    removeFile(context.folder + "/" + name);
  }
  if (std::find(made.begin(), made.end(), expected) == made.end()) {
    return what + "made " + shown(made) + ", expected \"" + printable(expected) + "\"";
  }
  return {};
}

}  // namespace

Verdict savesUnderEveryName(const CheckContext& context) {
  const Bytes block = pattern(300, 15);
  // From the check's working folder, which lies beside the one it saves in; not in exporthost's
  // own process, which keeps the user's.
  const std::string relative = "../" + lastComponent(context.folder) + "/";
  const bool relativeWorks = identityOf(relative) == identityOf(context.folder);
  struct Name {
    std::string name;
    bool relative = false;
    bool mayRefuse = false;  // past the longest name every plug-in takes
  };
  const std::vector<Name> names = {
      {"with spaces"},
      {"Mixed Case"},
      {"utf8 \xC3\xA9\xE2\x82\xAC"},
      {"latin1 \xE9\xFF\x80"},
      {"long " + std::string(70, 'x')},
      {"relative", true},
      {std::string(kLongestBaseName - relative.size(), 'r'), true},
      {std::string(2 * kLongestBaseName - relative.size(), 'p'), true, true},
  };
  for (const Name& each : names) {
    if (each.relative && !relativeWorks) {
      continue;
    }
    const std::string baseName = (each.relative ? relative : context.folder + "/") + each.name;
    if (std::string failure = savedAsNamed(context, block, baseName, each.name, each.mayRefuse);
        !failure.empty()) {
      return Verdict::fail(failure);
    }
  }
  return Verdict::pass();
}

}  // namespace rawout
