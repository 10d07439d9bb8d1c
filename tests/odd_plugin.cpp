// A plug-in that keeps the contract but is built oddly, each ODD_* definition one way a module
// can reach a host that cannot load or call it rightly:
//   ODD_MANGLED    the entry points defined in C++, without extern "C"
//   ODD_NEAR_MISS  SavePrgmfile for SavePrgmFile
//   ODD_STDCALL    the entry points stdcall (WINAPI), as 32-bit Windows calls it
//   ODD_TEXTREL    an absolute address in its code, which the loader must write into
//   ODD_NEEDS      a function of libabsent, a library no host finds
// It writes its block to the base name + ".odd". It does not include the boundary header: it
// declares what it exports itself, as a careless author might.
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#define ODD_EXPORT __declspec(dllexport)
#else
#define ODD_EXPORT __attribute__((visibility("default")))
#endif

#if defined(ODD_STDCALL) && defined(_WIN32)
#define ODD_CALL __stdcall
#else
#define ODD_CALL
#endif

#ifdef ODD_MANGLED
#define ODD_LINKAGE
#else
#define ODD_LINKAGE extern "C"
#endif

#ifdef ODD_NEAR_MISS
#define ODD_SAVE SavePrgmfile
#else
#define ODD_SAVE SavePrgmFile
#endif

#ifdef ODD_NEEDS
extern "C" int absentAnswer();
#endif

#if defined(ODD_TEXTREL) && defined(__x86_64__) && defined(__ELF__)
// The address of a function, absolute, in the code itself.
__asm__(".pushsection .text\n.quad GetPluginDescription\n.popsection\n");
#endif

ODD_LINKAGE ODD_EXPORT int ODD_CALL ODD_SAVE(const void* data, std::uint32_t size,
                                             const char* baseName, char* extOut) noexcept {
  char name[4096];
  if (baseName == nullptr || std::strlen(baseName) + 5 > sizeof name) {
    return 0;
  }
  std::snprintf(name, sizeof name, "%s.odd", baseName);
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) {
    return 0;
  }
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) {
    std::remove(name);
    return 0;
  }
  if (extOut != nullptr) {
    std::memcpy(extOut, ".odd", 5);
  }
#ifdef ODD_NEEDS
  return absentAnswer();
#else
  return 1;
#endif
}

ODD_LINKAGE ODD_EXPORT const char* ODD_CALL GetPluginDescription() noexcept { return "Odd File"; }

ODD_LINKAGE ODD_EXPORT int ODD_CALL About() noexcept { return 0; }
