#include <unistd.h>

#include "files/descriptors.h"

namespace rawout {

int descriptorOf(std::FILE* stream) { return ::fileno(stream); }
int duplicate(int descriptor) { return ::dup(descriptor); }
bool duplicateOnto(int source, int target) { return ::dup2(source, target) == target; }
void closeDescriptor(int descriptor) { (void)::close(descriptor); }

}  // namespace rawout
