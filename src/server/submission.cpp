#include "server/submission.h"

#include "game/replay.h"
#include "server/crypto.h"

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
