// What the fuzz targets share: a property that fails stops the run loudly, with the input saved
// by libFuzzer (or named by the replay driver).
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                                                   \
  do {                                                                                            \
    if (!(condition)) {                                                                           \
      (void)std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                               \
    }                                                                                             \
  } while (false)
