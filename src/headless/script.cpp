// Touch scripts: one event per line, '#' starts a comment, blank lines are ignored.
#include <charconv>
#include <string>

#include "headless/script.h"

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Splits a line into at most 4 words; returns the number of words found (4 means "too many").
int split_words(std::string_view line, std::string_view words[4]) {
  int n = 0;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_space(line[i])) ++i;
    if (i >= line.size()) break;
    const size_t start = i;
    while (i < line.size() && !is_space(line[i])) ++i;
    if (n == 4) return 4;
    words[n++] = line.substr(start, i - start);
  }
  return n;
}

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

std::string quoted(std::string_view w) {
  std::string q(1, '\'');
  q.append(w);
  q.push_back('\'');
  return q;
}

}  // namespace

bool parse_script(std::string_view text, std::string_view name, std::vector<ScriptStep>* out,
                  std::string* error) {
  out->clear();
  int32_t line_no = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    ++line_no;
    pos = end + 1;
    const size_t hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);

    std::string_view w[4];
    const int n = split_words(line, w);
    auto fail = [&](const std::string& what) {
      *error = std::string(name) + ":" + std::to_string(line_no) + ": " + what;
      return false;
    };
    if (n == 0) {
      if (end == text.size()) break;
      continue;
    }
    ScriptStep step{ScriptOp::Wait, 0, 0, line_no};
    int want = 1;
    if (w[0] == "wait") {
      want = 2;
      if (n < 2) return fail("expected a frame count after 'wait'");
      if (!parse_int(w[1], 0, 2147483647, &step.a))
        return fail("expected a frame count (0 or more) after 'wait', got " + quoted(w[1]));
    } else if (w[0] == "move") {
      step.op = ScriptOp::Move;
      want = 3;
      if (n < 3) return fail("expected 'move X Y' with two client pixel coordinates");
      if (!parse_int(w[1], -32768, 65535, &step.a))
        return fail("expected a client x coordinate after 'move', got " + quoted(w[1]));
      if (!parse_int(w[2], -32768, 65535, &step.b))
        return fail("expected a client y coordinate after 'move X', got " + quoted(w[2]));
    } else if (w[0] == "down") {
      step.op = ScriptOp::Down;
    } else if (w[0] == "up") {
      step.op = ScriptOp::Up;
    } else if (w[0] == "leave") {
      step.op = ScriptOp::Leave;
    } else if (w[0] == "esc") {
      step.op = ScriptOp::Esc;
    } else if (w[0] == "quit") {
      step.op = ScriptOp::Quit;
    } else {
      return fail("expected one of 'wait N', 'move X Y', 'down', 'up', 'leave', 'esc', 'quit', got " +
                  quoted(w[0]));
    }
    if (n > want) return fail("unexpected " + quoted(w[want]) + " after '" + std::string(w[0]) + "'");
    out->push_back(step);
    if (end == text.size()) break;
  }
  return true;
}
