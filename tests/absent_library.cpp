// A library that a module needs and no host finds: it is built into a folder of its own.
#if defined(_WIN32)
#define ABSENT_EXPORT __declspec(dllexport)
#else
#define ABSENT_EXPORT __attribute__((visibility("default")))
#endif

extern "C" ABSENT_EXPORT int absentAnswer() { return 1; }
