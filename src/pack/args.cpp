#include "pack/args.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {
bool looks_like_option(std::string_view s) { return s.size() > 1 && s[0] == '-'; }
}  // namespace

bool ArgReader::next() {
  while (!failed_) {
    if (++at_ >= argc_) return false;
    const std::string_view a = argv_[at_];
    if (!operands_only_ && a == "--") {
      operands_only_ = true;
      continue;
    }
    option_ = !operands_only_ && looks_like_option(a);
    const size_t eq = option_ ? a.find('=') : std::string_view::npos;
    has_inline_ = eq != std::string_view::npos;
    name_ = std::string(a.substr(0, eq));
    inline_value_ = has_inline_ ? std::string(a.substr(eq + 1)) : std::string();
    return true;
  }
  return false;
}

bool ArgReader::is_flag(std::string_view option) {
  if (!is(option)) return false;
  if (has_inline_) usage_error(name_ + " takes no value");
  return true;
}

bool ArgReader::is_version() {
  if (version_.empty() || !is_flag("--version") || failed_) return false;
  const std::string line = std::string(program_) + " " + version_;
  if (say_ != nullptr) {
    say_(line);
  } else {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
  return true;
}

bool ArgReader::optional_value(std::string* out) {
  if (has_inline_) {
    *out = inline_value_;
    return true;
  }
  if (at_ + 1 < argc_ && !looks_like_option(argv_[at_ + 1])) {
    *out = argv_[++at_];
    return true;
  }
  return false;
}

bool ArgReader::value(std::string* out, const char* value_name) {
  if (optional_value(out)) return true;
  usage_error(name_ + " needs " + value_name);
  return false;
}

int ArgReader::usage_error(const std::string& message) {
  if (!failed_) std::fprintf(stderr, "%s: %s (try --help)\n", program_, message.c_str());
  failed_ = true;
  return 2;
}

int ArgReader::unexpected() {
  return usage_error(option_ ? "unknown option '" + name_ + "'" : "unexpected argument '" + name_ + "'");
}

bool ArgReader::one_folder(const char* program, const char* usage, int argc, char** argv, std::string* folder,
                           int* status) {
  ArgReader a(program, argc, argv);
  folder->clear();
  while (a.next()) {
    if (a.is_help()) {
      std::fputs(usage, stdout);
      *status = 0;
      return false;
    }
    if (!a.is_operand() || !folder->empty()) {
      *status = a.unexpected();
      return false;
    }
    *folder = a.arg();
  }
  if (!a.failed() && folder->empty()) a.usage_error("say which folder");
  if (a.failed()) {
    *status = 2;
    return false;
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(*folder, ec)) {
    std::fprintf(stderr, "%s: %s: is not a folder\n", program, folder->c_str());
    *status = 1;
    return false;
  }
  return true;
}
