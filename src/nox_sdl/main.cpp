// PIXEL BREAKER for Linux: runs in its working directory, takes no options.
#include "nox_sdl/host.h"

int main() { return host_main(); }
