// A submission as the request brings it: the name, the bearer token and a replay file's bytes,
// checked before anything is stored.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "server/verify.h"

// A refusal: an HTTP status (4xx) and its reason in plain words.
struct Refusal {
  int status = 400;
  std::string message;
};

struct Submission {
  std::string name;      // as given
  std::string name_key;  // the name in lower case: names differing only in case are one name
  std::string token;     // from "Authorization: Bearer TOKEN"; empty when none was given
  std::string id;        // 32 hex digits of the SHA-256 of `replay`
  std::string_view replay;  // the bytes a playback reads: the header and the records it counts
  ReplayFacts facts;
};

constexpr size_t kNameMin = 3, kNameMax = 16;
constexpr size_t kTokenBytes = 32;  // random bytes in a name's token (64 hex digits)

// A player's name: 3 to 16 letters, digits, spaces, '-', '_' and '.', neither starting nor
// ending with a space nor holding two spaces in a row. Sets *key (lower case) when valid.
bool check_name(std::string_view name, std::string* key, std::string* why);

// The token of "Bearer TOKEN" (the scheme in any case). An empty header gives an empty token;
// anything else malformed is a refusal.
bool bearer_token(std::string_view authorization, std::string* token, Refusal* refusal);

// `id` has the form of a submission's id.
bool is_submission_id(std::string_view id);

// Checks a submission. On success `out->replay` points into `body`.
bool parse_submission(std::optional<std::string_view> name, std::string_view authorization, std::string_view body,
                      Submission* out, Refusal* refusal);

// Decodes "%41" and, with `plus_is_space`, "+". False when a '%' is not followed by two hex digits.
bool percent_decode(std::string_view in, bool plus_is_space, std::string* out);
// Decodes a query string ("a=1&b=x%20y") into the first value of each key. False when it is
// not well formed.
bool parse_query(std::string_view query, std::map<std::string, std::string>* out);

// The largest replay file: the header and every record the game can hold.
size_t replay_file_max_bytes();
