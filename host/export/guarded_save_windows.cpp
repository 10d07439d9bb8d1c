// On Windows the save runs in exporthost's own process: the fault trap ends it with the
// message, and a plug-in that ends the process ends exporthost.
#include "export/guarded_save.h"

#include "loader/fault_trap.h"
#include "support/quoted_name.h"

namespace rawout {

ExportPlugin::SaveOutcome guardedSave(const ExportPlugin& plugin, const void* data,
                                      std::uint32_t size, const std::string& baseName,
                                      const ExtensionBuffer& buffer, const InputBlock* input) {
  FaultTrap trap("exporthost: " + quotedName(plugin.path()) + ": wrote past " +
                 ExtensionBuffer::described() + "\n");
  if (input != nullptr) {
    trap.watch(input->data(), input->size(),
               "exporthost: " + std::string(InputError::changed(input->path()).what()) + "\n");
  }
  return plugin.saveReporting(data, size, baseName.c_str(), buffer.get());
}

}  // namespace rawout
