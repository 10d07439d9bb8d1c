// The same host, compiled as C++.
#include "host.c"
