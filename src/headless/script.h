// Touch scripts: one pointer event per line, for the headless runner.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ScriptOp : uint8_t { Wait, Move, Down, Up, Leave, Esc, Quit };

struct ScriptStep {
  ScriptOp op;
  int32_t a;     // Wait: frames; Move: client x
  int32_t b;     // Move: client y
  int32_t line;  // line number in the script, from 1
};

// Parses a touch script. `name` is used in error messages ("name:line: ...").
// Returns false with a message in *error on the first bad line.
bool parse_script(std::string_view text, std::string_view name, std::vector<ScriptStep>* out, std::string* error);
