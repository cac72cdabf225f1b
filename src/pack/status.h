// Errors as values: what a step that can fail returns, a code and the reason in plain words.
#pragma once

struct Status {
  int code = 0;            // 0: done; otherwise which step failed, in the caller's own codes
  char message[256] = {};  // why, as the player or the log is told ("File broken: ROMDATA.BIN")
  bool ok() const { return code == 0; }
};

// Sets *out (when given) to `code` and the formatted message; returns `code`.
int status_fail(Status* out, int code, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
