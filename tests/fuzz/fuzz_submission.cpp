// Any submission request: the query, the Authorization header and the body, split at the first
// two line ends of the input. What is accepted is a valid name with the header's own values and
// an id from the bytes a playback reads; what is refused gets a 4xx and a reason that repeats
// nothing of the input.
#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_dir.h"
#include "server/submission.h"

namespace {

uint32_t le32(std::string_view b, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(b[at + i])} << (8 * i);
  return v;
}

bool name_allowed(std::string_view n) {
  if (n.size() < 3 || n.size() > 16 || n.front() == ' ' || n.back() == ' ' || n.find("  ") != n.npos) return false;
  for (const char c : n)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ' && c != '-' && c != '_' && c != '.') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const size_t a = std::min(in.find('\n'), in.size());
  const size_t b = std::min(in.find('\n', std::min(a + 1, in.size())), in.size());
  const std::string_view query = in.substr(0, a), auth = in.substr(std::min(a + 1, in.size()), b - std::min(a + 1, b));
  const std::string body(in.substr(std::min(b + 1, in.size())));

  std::map<std::string, std::string> q;
  if (!parse_query(query, &q)) return 0;
  const auto name = q.find("name");
  const std::optional<std::string_view> given =
      name == q.end() ? std::nullopt : std::optional<std::string_view>(name->second);
  Submission s;
  Refusal r;
  if (!parse_submission(given, auth, body, &s, &r)) {
    fuzz_require(r.status == 400 || r.status == 401 || r.status == 413 || r.status == 422, "a refusal is a 4xx");
    fuzz_require(!r.message.empty(), "with a reason");
    for (const char c : r.message) fuzz_require(c >= 0x20 && c < 0x7f, "in plain text");
    fuzz_require(given.has_value() || r.status == 400, "a missing name is the first refusal");
    fuzz_require(r.status != 400 || !given || !name_allowed(*given), "a valid name is not refused as a bad one");
    return 0;
  }
  fuzz_require(given && name_allowed(*given) && s.name == *given, "only a valid name is accepted");
  for (size_t i = 0; i < s.name.size(); ++i)
    fuzz_require(s.name_key[i] == std::tolower(static_cast<unsigned char>(s.name[i])), "its key is the name in lower case");
  fuzz_require(s.token.size() <= 64 && (auth.empty() ? s.token.empty() : !s.token.empty()), "a token only from a header");
  for (const char c : s.token) fuzz_require(std::isxdigit(static_cast<unsigned char>(c)) && !std::isupper(c), "of hex digits");

  const uint32_t frames = le32(body, 16);
  fuzz_require(frames >= 12 && frames <= 131072, "a frame count the game plays");
  fuzz_require(s.replay.data() == body.data() && s.replay.size() == 32 + size_t{12} * frames, "the bytes a playback reads");
  fuzz_require(s.facts.frames == frames && s.facts.score == uint64_t{le32(body, 20)} * 10 &&
                   s.facts.guide == (body[24] != 0) && s.facts.floor == (body[25] != 0) && s.facts.date == body.substr(0, 16),
               "the header's own values, the score in points");
  fuzz_require(is_submission_id(s.id), "an id of 32 hex digits");
  // Bytes after the records are not played, so they do not make another submission.
  Submission longer;
  fuzz_require(parse_submission(given, auth, body + "tail", &longer, &r) && longer.id == s.id, "nor another id");
  return 0;
}
