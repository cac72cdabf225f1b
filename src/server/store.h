// Everything the server keeps: claimed names, submissions with their replays and verdicts, and
// the queue of replays waiting for a playback. One schema and one set of statements for SQLite
// and PostgreSQL.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/db.h"
#include "server/submission.h"
#include "server/verify.h"

// What a submission request came to.
struct SubmitOutcome {
  int status = 0;          // 202 stored, 200 the same bytes were there already, or a 4xx/503
  std::string id;
  std::string state;       // "pending", "verified" or "rejected"
  std::string token;       // a new name's token (202 only, when this submission claimed the name)
  std::string message;     // the reason of a refusal
};

struct SubmissionRecord {
  std::string id, name, status, reason, date, build;
  int64_t score = 0, frames = 0;
  bool guide = false, floor = false;
  std::optional<int64_t> rank;  // the place on its board when it is its name's best verified game
};

struct BoardEntry {
  int64_t rank = 0;
  std::string name;
  int64_t score = 0;
  std::string id, date;
  int64_t frames = 0;
};

struct Board {
  std::vector<BoardEntry> entries;
  int64_t total = 0;  // names on the board
};

// A replay taken from the queue by one worker: the lease says until when nobody else takes it.
struct Job {
  std::string id;
  std::string lease;  // the worker's mark on the row
  std::string replay;
  int64_t attempts = 0;
};

class Store {
 public:
  // Opens the database (`url` "postgresql://...", or empty for SQLite in `data_dir`) and brings
  // its schema up to date. `connections` is how many threads may read at once.
  static std::unique_ptr<Store> open(const std::string& url, const std::string& data_dir, size_t connections,
                                     std::string* error);
  ~Store();

  Dialect dialect() const { return dialect_; }

  // Stores a checked submission and queues its replay, claiming its name when nobody has.
  // Refused with 401/403 when the name is claimed and the token missing or wrong, with 403 when
  // it is not and `may_claim` is false (a reserved name), with 503 when `queue_cap` replays are
  // waiting already. The same bytes again give 200 and the stored id.
  // `now` in milliseconds since 1970.
  SubmitOutcome submit(const Submission& s, int64_t now_ms, int64_t queue_cap, bool may_claim);

  std::optional<SubmissionRecord> find(const std::string& id);
  bool replay(const std::string& id, std::string* bytes);
  // Removes a submission with its name's token: 200, 401 (no token), 403 (wrong) or 404.
  int withdraw(const std::string& id, const std::string& token);

  // Each name's best verified game with these options submitted at `since_ms` or later; of
  // equal scores the earlier submitted comes first.
  Board board(bool guide, bool floor, int64_t since_ms, int64_t limit, int64_t offset);
  // The best game and place of one name (its key) on that board, when it has one there.
  std::optional<BoardEntry> board_place(bool guide, bool floor, int64_t since_ms, const std::string& name_key);

  // Takes the oldest waiting replay whose lease has run out, for `lease_seconds`.
  std::optional<Job> take_job(int64_t now, int64_t lease_seconds);
  // Records the verdict; false when the lease was lost meanwhile (nothing is written then).
  bool finish_job(const Job& job, const Verdict& v, const std::string& build, const std::string& verifier,
                  int64_t now);
  // Gives a job back without a verdict, to be taken again after `retry_at`.
  void release_job(const Job& job, int64_t retry_at);

  int64_t queue_depth();
  // Queues again every verdict that another build gave. Returns how many.
  int64_t requeue_other_builds(const std::string& build);
  // Frees every lease: only for a database that no other process uses (SQLite).
  void clear_leases();
  bool healthy();

 private:
  Store() = default;
  Dialect dialect_ = Dialect::Sqlite;
  // SQLite: one writer and several readers; PostgreSQL: one pool for both.
  std::unique_ptr<Pool> writers_, readers_;
  int lock_fd_ = -1;  // SQLite: the data folder is this process's alone
};
