#include "module/load_diagnosis.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string_view>

#include "process/this_program.h"
#include "text/closest_name.h"
#include "text/joined.h"

namespace rawout {

namespace {

std::string width(const ModuleFile& module) { return std::to_string(module.bits) + "-bit"; }

std::string programName() {
  return thisHost().format == ModuleFile::Format::Pe ? "exporthost.exe" : "exporthost";
}

// The module's kind against the host's: "" when the host can load its kind.
std::string kindAgainstHost(const ModuleFile& module) {
  const ModuleFile& host = thisHost();
  const std::string is = module.described() + "; ";
  if (module.format != host.format) {
    return module.format == ModuleFile::Format::Pe
               ? module.described() +
                     ", for Windows: check it with exporthost.exe (under "
                     "wine64 on Linux)"
               : module.described() + ", for Linux and its kin: build the plug-in as a DLL";
  }
  if (!module.loadable) {
    return module.described() + ", not a module: build it as one (rawout_add_plugin does)";
  }
  if (module.bits != host.bits && module.machine != host.machine &&
      (module.machine == "i386" || module.machine == "x86-64") &&
      (host.machine == "i386" || host.machine == "x86-64")) {
    return is + "this " + programName() + " is " + width(host) + " (" + host.machine + "): " +
           (host.format == ModuleFile::Format::Pe
                ? "run the " + width(module) + " one, from the " + width(module) + " ZIP"
                : "build the module as " + width(host));
  }
  if (module.machine != host.machine || module.bits != host.bits) {
    return is + "this " + programName() + " is for " + host.machine + ": build it for " +
           host.machine;
  }
  return {};
}

// The plain name a C++ name stands for, when it is one: "SavePrgmFile(void const*, ...)".
std::string demangled(const std::string& name) {
  if (!name.starts_with("_Z")) {
    return {};
  }
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> plain(
      abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), &std::free);
  return status == 0 && plain ? std::string(plain.get()) : std::string();
}

// What `exported` holds in place of `wanted`, and what to change; "" for nothing like it.
std::string closestExport(const std::string& wanted, const std::vector<std::string>& exported) {
  const std::regex decorated("^_?" + wanted + "@[0-9]+$");
  for (const std::string& name : exported) {
    if (std::regex_match(name, decorated)) {
      return "; it exports '" + name +
             "', the name of a stdcall function (__stdcall, WINAPI): declare it RAWOUT_CALL "
             "(cdecl), as the header does, or list the plain names in a module-definition file "
             "(rawout-plugin.def)";
    }
  }
  for (const std::string& name : exported) {
    const std::string plain = demangled(name);
    const std::size_t call = plain.find('(');
    const std::string function = plain.substr(0, call);
    if (call != std::string::npos && (function == wanted || function.ends_with("::" + wanted))) {
      std::string hint = "; it exports ";
      hint.append(plain).append(" under the C++ name '").append(name);
      return hint + "': declare it extern \"C\", as the header does";
    }
    if (name.starts_with("?" + wanted + "@")) {
      return "; it exports '" + name +
             "', an MSVC C++ name: declare it extern \"C\", as the header does";
    }
  }
  std::vector<std::string_view> names(exported.begin(), exported.end());
  if (const auto near = closestName(wanted, names)) {
    return "; it exports '" + *near + "', a slip away: name it " + wanted;
  }
  return {};
}

}  // namespace

const ModuleFile& thisHost() {
  static const ModuleFile host = [] {
    std::string why;
    return readModuleFile(thisProgram(), why).value_or(ModuleFile{});
  }();
  return host;
}

std::string whyNotLoadable(const std::string& path, const std::string& systemWords) {
  std::string why;
  const auto module = readModuleFile(path, why);
  if (!module) {
    return why;
  }
  if (std::string kind = kindAgainstHost(*module); !kind.empty()) {
    return kind;
  }
  const std::vector<std::string> missing = missingLibraries(*module, path, systemWords);
  if (missing.empty()) {
    return {};
  }
  const bool one = missing.size() == 1;
  const std::string them = one ? "it" : "them";
  const std::string advice =
      module->format == ModuleFile::Format::Pe
          ? "ship " + them + " where the host looks for DLLs, or link " + them +
                " statically (-static; rawout_add_plugin does for mingw-w64's runtime)"
          : "install " + them + " where the loader looks (a system folder), ship " + them +
                " beside the module with a run path of $ORIGIN, or link " + them + " statically";
  return "it needs " + joined(missing, ", ") + (one ? ", which is" : ", which are") +
         " not found where the host looks: " + advice;
}

std::string missingEntryPoints(const std::vector<std::string>& missing,
                               const std::vector<std::string>& exported) {
  std::vector<std::string> each;
  each.reserve(missing.size());
  for (const std::string& name : missing) {
    each.push_back("it has no '" + name + "'" + closestExport(name, exported));
  }
  return joined(each, "; ");
}

}  // namespace rawout
