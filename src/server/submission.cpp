#include "server/submission.h"

#include "game/replay.h"
#include "server/crypto.h"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool percent_decode(std::string_view in, bool plus_is_space, std::string* out) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '%') {
      if (i + 2 >= in.size()) return false;
      const int hi = hex_value(in[i + 1]), lo = hex_value(in[i + 2]);
      if (hi < 0 || lo < 0) return false;
      *out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      *out += plus_is_space && in[i] == '+' ? ' ' : in[i];
    }
  }
  return true;
}

bool parse_query(std::string_view query, std::map<std::string, std::string>* out) {
  out->clear();
  size_t at = 0;
  while (at <= query.size()) {
    size_t end = query.find('&', at);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view part = query.substr(at, end - at);
    if (!part.empty()) {
      const size_t eq = part.find('=');
      std::string key, value;
      if (!percent_decode(part.substr(0, eq), true, &key)) return false;
      if (eq != std::string_view::npos && !percent_decode(part.substr(eq + 1), true, &value)) return false;
      out->emplace(std::move(key), std::move(value));
    }
    at = end + 1;
  }
  return true;
}

bool check_name(std::string_view name, std::string* key, std::string* why) {
  if (name.size() < kNameMin || name.size() > kNameMax) {
    *why = "a name has 3 to 16 characters";
    return false;
  }
  std::string k;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(c >= '0' && c <= '9') && c != ' ' && c != '-' && c != '_' && c != '.') {
      *why = "a name holds only letters, digits, spaces, '-', '_' and '.'";
      return false;
    }
    if (c == ' ' && (i == 0 || i + 1 == name.size() || name[i - 1] == ' ')) {
      *why = "a name neither starts nor ends with a space nor holds two in a row";
      return false;
    }
    k += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  *key = std::move(k);
  return true;
}

bool bearer_token(std::string_view authorization, std::string* token, Refusal* refusal) {
  token->clear();
  if (authorization.empty()) return true;
  constexpr std::string_view kScheme = "bearer ";
  bool scheme = authorization.size() > kScheme.size();
  for (size_t i = 0; scheme && i < kScheme.size(); ++i)
    scheme = (authorization[i] | 0x20) == kScheme[i];
  std::string_view t = scheme ? authorization.substr(kScheme.size()) : std::string_view{};
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  bool ok = !t.empty() && t.size() <= 2 * kTokenBytes;
  for (const char c : t) ok = ok && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
  if (!ok) {
    *refusal = {401, "the Authorization header must be \"Bearer\" and the name's token"};
    return false;
  }
  *token = t;
  return true;
}

bool is_submission_id(std::string_view id) {
  if (id.size() != 32) return false;
  for (const char c : id)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

size_t replay_file_max_bytes() { return REPLAY_BUFFER_BYTES; }

bool parse_submission(std::optional<std::string_view> name, std::string_view authorization, std::string_view body,
                      Submission* out, Refusal* refusal) {
  if (!name) {
    *refusal = {400, "the name is missing: POST /api/v1/submissions?name=NAME"};
    return false;
  }
  std::string why;
  if (!check_name(*name, &out->name_key, &why)) {
    *refusal = {400, "bad name: " + why};
    return false;
  }
  out->name = *name;
  if (!bearer_token(authorization, &out->token, refusal)) return false;
  if (body.size() > replay_file_max_bytes()) {
    *refusal = {413, "the body is larger than the largest replay file (" + std::to_string(replay_file_max_bytes()) +
                         " bytes)"};
    return false;
  }
  Verdict v;
  if (!read_replay_facts(body, &out->facts, &v)) {
    *refusal = {422, v.reason};
    return false;
  }
  out->replay = body.substr(0, out->facts.played_bytes);
  out->id = sha256_hex(out->replay).substr(0, 32);
  return true;
}
