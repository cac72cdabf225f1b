// Any touch script: it parses or is refused with a message naming the line; a parsed script
// holds only values in range, and written back out it parses to the same steps.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_dir.h"
#include "headless/script.h"

namespace {

std::string write_back(const std::vector<ScriptStep>& steps) {
  static const char* const kWords[] = {"wait", "move", "down", "up", "leave", "esc", "quit"};
  std::string text;
  for (const ScriptStep& s : steps) {
    text += kWords[static_cast<int>(s.op)];
    if (s.op == ScriptOp::Wait) text += " " + std::to_string(s.a);
    if (s.op == ScriptOp::Move) text += " " + std::to_string(s.a) + " " + std::to_string(s.b);
    text += "\n";
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<ScriptStep> steps;
  std::string error;
  if (!parse_script(text, "fuzz.txt", &steps, &error)) {
    fuzz_require(error.rfind("fuzz.txt:", 0) == 0, "a refusal names the script and the line");
    return 0;
  }
  int32_t last_line = 0;
  for (const ScriptStep& s : steps) {
    fuzz_require(s.line > last_line, "steps come in line order");
    last_line = s.line;
    fuzz_require(s.op != ScriptOp::Wait || s.a >= 0, "a wait is never negative");
    fuzz_require(s.op != ScriptOp::Move || (s.a >= -32768 && s.a <= 65535 && s.b >= -32768 && s.b <= 65535),
                 "a move stays within the client coordinate range");
  }
  std::vector<ScriptStep> again;
  fuzz_require(parse_script(write_back(steps), "again", &again, &error), "a written-back script parses");
  fuzz_require(again.size() == steps.size(), "with as many steps");
  for (size_t i = 0; i < steps.size(); ++i)
    fuzz_require(again[i].op == steps[i].op && again[i].a == steps[i].a && again[i].b == steps[i].b,
                 "and the same steps");
  return 0;
}
