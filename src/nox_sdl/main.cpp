// PIXEL BREAKER for Linux: runs in its working directory; see --help for the options.
#include "nox_sdl/host.h"

int main(int argc, char** argv) {
  HostOptions options;
  const int parsed = host_parse_options(argc, argv, &options);
  if (parsed != 0) return parsed == 1 ? 0 : 2;
  return host_main(options);
}
