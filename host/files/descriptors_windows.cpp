#include <io.h>

#include "files/descriptors.h"

namespace rawout {

int descriptorOf(std::FILE* stream) { return ::_fileno(stream); }
int duplicate(int descriptor) { return ::_dup(descriptor); }
// _dup2 gives 0 on success, not the target.
bool duplicateOnto(int source, int target) { return ::_dup2(source, target) == 0; }
void closeDescriptor(int descriptor) { (void)::_close(descriptor); }

}  // namespace rawout
