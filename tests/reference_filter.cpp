// A reference command for the checker's tests, on every platform: "copy" writes its standard
// input unchanged, "hex" as the hex test plug-in writes a block (the last component of the base
// name exporthost gives in RAWOUT_BASE_NAME on a line, then two lower-case digits a byte, a line
// feed after every 16 bytes and after the last); "HEX" the same in upper case, a format the hex
// plug-in does not write.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  (void)::_setmode(::_fileno(stdin), _O_BINARY);
  (void)::_setmode(::_fileno(stdout), _O_BINARY);
#endif
  const bool upper = argc > 1 && std::strcmp(argv[1], "HEX") == 0;
  const bool hex = upper || (argc > 1 && std::strcmp(argv[1], "hex") == 0);
  if (hex) {
    const char* baseName = std::getenv("RAWOUT_BASE_NAME");
    const char* named = baseName != nullptr ? std::strrchr(baseName, '/') : nullptr;
    std::printf("%s\n", named != nullptr ? named + 1 : (baseName != nullptr ? baseName : ""));
  }
  long count = 0;
  int byte = 0;
  int pending = 0;  // a line feed owed after the last byte
  while ((byte = std::getchar()) != EOF) {
    if (!hex) {
      std::putchar(byte);
      continue;
    }
    std::printf(upper ? "%02X" : "%02x", byte);
    pending = ++count % 16 != 0;
    if (!pending) {
      std::putchar('\n');
    }
  }
  if (pending) {
    std::putchar('\n');
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
