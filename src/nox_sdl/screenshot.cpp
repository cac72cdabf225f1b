#include "nox_sdl/screenshot.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "game/core.h"
#include "headless/output.h"
#include "nox_sdl/host.h"
#include "pack/log.h"

int screenshot_write(const uint32_t* pixels, int32_t scale, uint64_t frame) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "PIXBRK_%Y%m%d_%H%M%S", &local);
  char name[48];
  std::snprintf(name, sizeof name, "%s.png", stamp);
  for (int n = 2; access(name, F_OK) == 0 && n < 100; ++n) std::snprintf(name, sizeof name, "%s_%d.png", stamp, n);
  std::string error;
  if (!write_png(name, pixels, NOX_W, NOX_H, scale, &error)) {
    putlog(HOST_SOURCE, LOG_LINE_SCREENSHOT_FAILED, "Screenshot failed: cannot write %s: %s.", name, error.c_str());
    return -1;
  }
  putlog(HOST_SOURCE, LOG_LINE_SCREENSHOT, "Screenshot %s (%d x %d, frame %llu).", name,
         static_cast<int>(NOX_W * scale), static_cast<int>(NOX_H * scale), static_cast<unsigned long long>(frame));
  return 0;
}
