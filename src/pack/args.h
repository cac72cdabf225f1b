// Command lines of the game's programs: options ("--name", "--name VALUE", "--name=VALUE") and
// operands in any order, "--" before operands that begin with a dash. A mistake is told in one
// line on standard error, "program: what (try --help)", with exit status 2. --help and
// --version are answered wherever they stand.
#pragma once
#include <string>
#include <string_view>
#include <utility>

class ArgReader {
 public:
  // `version`: the program's answer to --version (empty: it has none). `say` writes that line
  // where the program's user sees it (null: standard output).
  ArgReader(const char* program, int argc, char** argv, std::string version = "",
            void (*say)(const std::string& line) = nullptr)
      : program_(program), argc_(argc), argv_(argv), version_(std::move(version)), say_(say) {}

  // Moves to the next argument; false after the last.
  bool next();
  // The current argument is this option (alone or with "=VALUE").
  bool is(std::string_view option) const { return option_ && name_ == option; }
  // The current argument is this option, which takes no value: "--flag=VALUE" is told as a
  // mistake, and next() then stops.
  bool is_flag(std::string_view option);
  // The current argument is --help (or -h): the caller prints its usage on standard output and
  // exits with 0.
  bool is_help() { return (is_flag("--help") || is_flag("-h")) && !failed_; }
  // The current argument is --version, for a program that has one: the line "PROGRAM VERSION"
  // has been written and the caller exits with 0.
  bool is_version();
  // A mistake has been told (next() returns false from then on).
  bool failed() const { return failed_; }
  bool is_operand() const { return !option_; }
  // The current argument: an operand, or an option's name without "=VALUE".
  const std::string& arg() const { return name_; }
  // The current option's value: what follows "=", or else the next argument, which must not be
  // an option. When there is none, tells "--name needs VALUE_NAME" as usage_error does and
  // returns false (the caller exits with 2).
  bool value(std::string* out, const char* value_name);
  // The current option's value if it has one: what follows "=", or the next argument unless
  // that is an option. False, with nothing told, when there is none.
  bool optional_value(std::string* out);
  // "program: message (try --help)" on standard error (only the first mistake is told); returns
  // 2, the exit status.
  int usage_error(const std::string& message);
  // The current argument was not expected: an unknown option or an operand too many.
  int unexpected();

  // The whole command line of a program that takes one folder and --help (pixart, pixshot).
  // True with the folder in *folder; false with the exit status in *status: 0 after the usage,
  // 2 after a mistake, 1 when the operand is not a folder (told in one line).
  static bool one_folder(const char* program, const char* usage, int argc, char** argv, std::string* folder,
                         int* status);

 private:
  const char* program_;
  int argc_;
  char** argv_;
  std::string version_;
  void (*say_)(const std::string& line);
  int at_ = 0;
  bool operands_only_ = false;  // after "--"
  bool failed_ = false;
  bool option_ = false;
  bool has_inline_ = false;  // "--name=VALUE"
  std::string name_, inline_value_;
};
