#include "pack/status.h"

#include <cstdarg>
#include <cstdio>

int status_fail(Status* out, int code, const char* fmt, ...) {
  if (out == nullptr) return code;
  out->code = code;
  std::va_list args;
  va_start(args, fmt);
  std::vsnprintf(out->message, sizeof out->message, fmt, args);
  va_end(args);
  return code;
}
