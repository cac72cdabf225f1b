// Touch scripts: one event per line, '#' starts a comment, blank lines are ignored.
#include <algorithm>
#include <charconv>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>

#include "headless/script.h"

namespace {

bool parse_int(std::string_view word, int64_t lo, int64_t hi, int32_t* out) {
  int64_t v = 0;
  const char* first = word.data();
  const char* last = word.data() + word.size();
  if (first != last && *first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || ptr != last || first == last || v < lo || v > hi) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

std::string quoted(std::string_view w) { return std::string("'").append(w).append("'"); }

}  // namespace

bool parse_script(std::string_view text, std::string_view name, std::vector<ScriptStep>* out,
                  std::string* error) {
  static constexpr std::pair<std::string_view, ScriptOp> kOps[] = {
      {"wait", ScriptOp::Wait}, {"move", ScriptOp::Move}, {"down", ScriptOp::Down}, {"up", ScriptOp::Up},
      {"leave", ScriptOp::Leave}, {"esc", ScriptOp::Esc}, {"quit", ScriptOp::Quit}};
  out->clear();
  int32_t line_no = 0;
  for (size_t pos = 0; pos <= text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    ++line_no;
    pos = end + 1;
    const size_t hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);

    // At most four words: a fourth is one too many for any step.
    std::istringstream words{std::string(line)};
    std::string w[4];
    int n = 0;
    while (n < 4 && words >> w[n]) ++n;
    auto fail = [&](const std::string& what) {
      *error = std::string(name) + ":" + std::to_string(line_no) + ": " + what;
      return false;
    };
    if (n == 0) continue;
    const auto* op = std::find_if(std::begin(kOps), std::end(kOps), [&](const auto& k) { return k.first == w[0]; });
    if (op == std::end(kOps))
      return fail("expected one of 'wait N', 'move X Y', 'down', 'up', 'leave', 'esc', 'quit', got " +
                  quoted(w[0]));
    ScriptStep step{op->second, 0, 0, line_no};
    const int want = step.op == ScriptOp::Wait ? 2 : step.op == ScriptOp::Move ? 3 : 1;
    if (step.op == ScriptOp::Wait) {
      if (n < 2) return fail("expected a frame count after 'wait'");
      if (!parse_int(w[1], 0, 2147483647, &step.a))
        return fail("expected a frame count (0 or more) after 'wait', got " + quoted(w[1]));
    } else if (step.op == ScriptOp::Move) {
      if (n < 3) return fail("expected 'move X Y' with two client pixel coordinates");
      if (!parse_int(w[1], -32768, 65535, &step.a))
        return fail("expected a client x coordinate after 'move', got " + quoted(w[1]));
      if (!parse_int(w[2], -32768, 65535, &step.b))
        return fail("expected a client y coordinate after 'move X', got " + quoted(w[2]));
    }
    if (n > want) return fail("unexpected " + quoted(w[want]) + " after '" + w[0] + "'");
    out->push_back(step);
  }
  return true;
}
