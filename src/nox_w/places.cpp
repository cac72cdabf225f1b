// Where the Windows game keeps its files (see places.h), and its answer to --version.
#include "nox_w/places.h"

#include "nox_w/win.h"
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "pixbrk_version.h"

namespace {

constexpr const char* kPack = "ROMDATA.BIN";
constexpr const wchar_t* kPackW = L"ROMDATA.BIN";

bool file_exists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The folder of the running program, with its trailing backslash.
std::wstring program_folder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L"";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// The path in the narrow form the pack loader opens. A name that the ANSI code page cannot
// spell is given in its short form, which is plain ASCII where the volume keeps short names.
std::string narrow(const std::wstring& path) {
  auto convert = [](const std::wstring& w, DWORD flags, BOOL* lossy) {
    const int n = WideCharToMultiByte(CP_ACP, flags, w.c_str(), -1, nullptr, 0, nullptr, lossy);
    std::string out(n > 0 ? n : 1, '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, flags, w.c_str(), -1, out.data(), n, nullptr, lossy);
    out.resize(n > 0 ? n - 1 : 0);
    return out;
  };
  if (GetACP() == CP_UTF8) return convert(path, 0, nullptr);
  BOOL lossy = FALSE;
  std::string out = convert(path, WC_NO_BEST_FIT_CHARS, &lossy);
  if (!lossy) return out;
  std::wstring shorter(GetShortPathNameW(path.c_str(), nullptr, 0) + 1, L'\0');
  const DWORD n = GetShortPathNameW(path.c_str(), shorter.data(), static_cast<DWORD>(shorter.size()));
  if (n == 0 || n >= shorter.size()) return out;
  shorter.resize(n);
  return convert(shorter, WC_NO_BEST_FIT_CHARS, &lossy);
}

}  // namespace

bool win_answer_version() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  bool asked = false;
  for (int i = 1; argv != nullptr && i < argc; ++i) asked = asked || std::wcscmp(argv[i], L"--version") == 0;
  LocalFree(argv);
  if (!asked) return false;

  char line[96];
  const int length = std::snprintf(line, sizeof line, "pixbrk %s\r\n", PIXBRK_VERSION);
  // A program without a console of its own: a redirected output is there already; otherwise
  // borrow the console of the shell that started it.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  bool opened = false;
  if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    out = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    opened = out != INVALID_HANDLE_VALUE;
  }
  DWORD written = 0;
  const bool said = out != nullptr && out != INVALID_HANDLE_VALUE &&
                    WriteFile(out, line, static_cast<DWORD>(length), &written, nullptr) && written == DWORD(length);
  if (opened) CloseHandle(out);
  if (!said) {
    line[length - 2] = '\0';
    MessageBoxA(nullptr, line, "PIXEL BREAKER", MB_OK | MB_ICONINFORMATION);
  }
  return true;
}

unsigned long win_enter_files_folder(char* pack, std::size_t size) {
  std::snprintf(pack, size, "%s", kPack);
  const std::wstring program = program_folder();
  if (program.empty()) return 0;
  if (file_exists(program + L"portable.txt")) {
    return SetCurrentDirectoryW(program.c_str()) ? 0 : GetLastError();
  }
  if (!file_exists(program + L"installed.txt")) return 0;

  wchar_t appdata[MAX_PATH];
  const HRESULT found = SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, appdata);
  unsigned long error = 0;
  if (FAILED(found)) {
    error = static_cast<unsigned long>(found);
  } else {
    const std::wstring folder = std::wstring(appdata) + L"\\PIXEL BREAKER";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      error = GetLastError();
    } else if (!SetCurrentDirectoryW(folder.c_str())) {
      error = GetLastError();
    }
  }
  if (!file_exists(kPackW)) {
    const std::string beside = narrow(program + kPackW);
    if (beside.size() < size) std::snprintf(pack, size, "%s", beside.c_str());
  }
  return error;
}
