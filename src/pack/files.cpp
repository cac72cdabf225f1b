#include "pack/files.h"

#include <cstring>

#include "pack/per_thread.h"

namespace {
PER_THREAD char folder[FILES_PATH_MAX];
PER_THREAD bool no_files = false;

bool absolute(const char* name) {
#if defined(_WIN32)
  if (name[0] != 0 && name[1] == ':') return true;
  if (name[0] == '\\') return true;
#endif
  return name[0] == '/';
}
}  // namespace

void files_use(const char* where) {
  no_files = where == nullptr;
  folder[0] = 0;
  if (where != nullptr && std::strlen(where) < FILES_PATH_MAX) std::strcpy(folder, where);
}

const char* files_folder() { return no_files ? nullptr : folder; }

const char* files_path(const char* name, char (&out)[FILES_PATH_MAX]) {
  if (no_files || name == nullptr) return nullptr;
  const size_t f = absolute(name) ? 0 : std::strlen(folder), n = std::strlen(name);
  const bool slash = f > 0 && folder[f - 1] != '/' && folder[f - 1] != '\\';
  if (f + slash + n >= FILES_PATH_MAX) return nullptr;
  std::memcpy(out, folder, f);
  if (slash) out[f] = '/';
  std::memcpy(out + f + slash, name, n + 1);
  return out;
}

std::FILE* files_open(const char* name, const char* mode) {
  char path[FILES_PATH_MAX];
  return files_path(name, path) != nullptr ? std::fopen(path, mode) : nullptr;
}
