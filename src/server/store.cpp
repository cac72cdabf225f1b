#include "server/store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "server/crypto.h"

namespace {

// The schema, one version after the other. A version once released never changes: a change
// is a new version. "{blob}" is the dialect's type for bytes.
struct Migration {
  int version;
  std::vector<const char*> statements;
};
const Migration kMigrations[] = {
    {1,
     {"CREATE TABLE names ("
      " name_key TEXT PRIMARY KEY,"  // the name in lower case
      " name TEXT NOT NULL,"         // as its first submission wrote it
      " token_hash TEXT NOT NULL,"   // SHA-256 of the name's token
      " claimed BIGINT NOT NULL)",  // milliseconds since 1970, the server's clock
      "CREATE TABLE submissions ("
      " id TEXT PRIMARY KEY,"  // from the SHA-256 of the replay
      " name_key TEXT NOT NULL REFERENCES names (name_key),"
      " replay {blob} NOT NULL,"
      " score BIGINT NOT NULL,"  // points, as the header claims them
      " frames BIGINT NOT NULL,"
      " opt_guide INTEGER NOT NULL,"
      " opt_floor INTEGER NOT NULL,"
      " game_date TEXT NOT NULL,"
      " submitted BIGINT NOT NULL,"  // milliseconds since 1970, the server's clock
      " status TEXT NOT NULL,"       // pending, verified, rejected
      " reason TEXT,"
      " reason_kind TEXT,"
      " build TEXT,"        // the build that gave the verdict
      " verified_by TEXT,"  // the process that gave it
      " verified_at BIGINT,"  // seconds since 1970
      " queued INTEGER NOT NULL,"  // 1 while waiting for a playback
      " lease_owner TEXT,"
      " lease_until BIGINT NOT NULL,"  // seconds since 1970
      " attempts INTEGER NOT NULL)",
      "CREATE INDEX submissions_queue ON submissions (submitted, id) WHERE queued = 1",
      "CREATE INDEX submissions_board ON submissions (opt_guide, opt_floor, score) WHERE status = 'verified'",
      "CREATE INDEX submissions_name ON submissions (name_key)"}},
};

std::string dialect_sql(std::string sql, Dialect d) {
  const size_t at = sql.find("{blob}");
  if (at != std::string::npos) sql.replace(at, 6, d == Dialect::Postgres ? "BYTEA" : "BLOB");
  return sql;
}

void migrate(Conn& c) {
  in_transaction(c, true, [&] {
    // Several processes may start at once on one PostgreSQL database: one migrates at a time.
    if (c.dialect() == Dialect::Postgres) c.exec("SELECT pg_advisory_xact_lock(2106021)");
    c.exec("CREATE TABLE IF NOT EXISTS schema_migrations (version INTEGER PRIMARY KEY, applied BIGINT NOT NULL)");
    std::vector<Row> rows;
    c.exec("SELECT COALESCE(MAX(version), 0) FROM schema_migrations", {}, &rows);
    const int64_t current = rows.at(0).at(0).i;
    const int latest = std::size(kMigrations) == 0 ? 0 : std::end(kMigrations)[-1].version;
    if (current > latest)
      throw DbError("the database's schema is version " + std::to_string(current) + ", newer than this program's " +
                    std::to_string(latest));
    for (const Migration& m : kMigrations) {
      if (m.version <= current) continue;
      for (const char* st : m.statements) c.exec(dialect_sql(st, c.dialect()));
      c.exec("INSERT INTO schema_migrations (version, applied) VALUES ($1, $2)",
             {m.version, static_cast<int64_t>(std::time(nullptr))});
    }
  });
}

constexpr const char* kInsertSubmission =
    "INSERT INTO submissions (id, name_key, replay, score, frames, opt_guide, opt_floor, game_date, submitted,"
    " status, queued, lease_until, attempts)"
    " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, 'pending', 1, 0, 0) ON CONFLICT (id) DO NOTHING";

}  // namespace

std::unique_ptr<Store> Store::open(const std::string& url, const std::string& data_dir, size_t connections,
                                   std::string* error) {
  std::unique_ptr<Store> s(new Store);
  try {
    if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
      s->dialect_ = Dialect::Postgres;
      s->writers_ = std::make_unique<Pool>([url] { return open_postgres(url); }, connections + 2);
    } else if (!url.empty()) {
      *error = "--db takes a postgresql:// address (SQLite needs none: it lives in the data folder)";
      return nullptr;
    } else {
      // One process at a time owns a SQLite database: its leases are then this process's alone.
      const std::string lock = (std::filesystem::path(data_dir) / "pixbrk-server.lock").string();
      s->lock_fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (s->lock_fd_ < 0 || flock(s->lock_fd_, LOCK_EX | LOCK_NB) != 0) {
        *error = "another pixbrk-server is using " + data_dir + " (or " + lock + " cannot be written)";
        return nullptr;
      }
      const std::string path = (std::filesystem::path(data_dir) / "pixbrk.sqlite3").string();
      s->writers_ = std::make_unique<Pool>([path] { return open_sqlite(path); }, 1);
      s->readers_ = std::make_unique<Pool>([path] { return open_sqlite(path); }, connections);
    }
    auto c = s->writers_->get();
    migrate(*c);
  } catch (const DbError& e) {
    *error = e.what();
    return nullptr;
  }
  return s;
}

Store::~Store() {
  writers_.reset();
  readers_.reset();
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

SubmitOutcome Store::submit(const Submission& s, int64_t now, int64_t queue_cap, bool may_claim) {
  auto w = writers_->get();
  return in_transaction(*w, true, [&]() -> SubmitOutcome {
    std::vector<Row> rows;
    const auto stored = [&]() -> std::optional<SubmitOutcome> {
      rows.clear();
      w->exec("SELECT status FROM submissions WHERE id = $1", {s.id}, &rows);
      if (rows.empty()) return std::nullopt;
      return SubmitOutcome{200, s.id, rows[0][0].s, "", ""};
    };
    if (auto same = stored()) return *same;
    if (queue_cap > 0) {
      rows.clear();
      w->exec("SELECT COUNT(*) FROM submissions WHERE queued = 1", {}, &rows);
      if (rows.at(0).at(0).i >= queue_cap) return {503, "", "", "", "the queue is full: try again later"};
    }
    SubmitOutcome out{202, s.id, "pending", "", ""};
    const std::string token = random_hex(kTokenBytes);
    rows.clear();
    if (!may_claim) w->exec("SELECT token_hash FROM names WHERE name_key = $1", {s.name_key}, &rows);
    if (!may_claim && rows.empty()) return {403, "", "", "", "the name is reserved"};
    if (may_claim && w->exec("INSERT INTO names (name_key, name, token_hash, claimed) VALUES ($1, $2, $3, $4)"
                             " ON CONFLICT (name_key) DO NOTHING",
                             {s.name_key, s.name, sha256_hex(token), now}) == 1) {
      out.token = token;
    } else {
      rows.clear();
      w->exec("SELECT token_hash FROM names WHERE name_key = $1", {s.name_key}, &rows);
      if (s.token.empty())
        return {401, "", "", "", "the name is claimed: send its token as \"Authorization: Bearer TOKEN\""};
      if (rows.empty() || !same_secret(sha256_hex(s.token), rows[0][0].s))
        return {403, "", "", "", "the token is not this name's"};
    }
    const ReplayFacts& f = s.facts;
    if (w->exec(kInsertSubmission, {s.id, s.name_key, Param::blob(s.replay), static_cast<int64_t>(f.score),
                                    static_cast<int64_t>(f.frames), f.guide, f.floor, f.date, now}) == 0) {
      // Another process stored the same bytes meanwhile: this request claims nothing.
      if (!out.token.empty()) w->exec("DELETE FROM names WHERE name_key = $1", {s.name_key});
      if (auto same = stored()) return *same;
    }
    return out;
  });
}

std::optional<SubmissionRecord> Store::find(const std::string& id) {
  auto r = (readers_ ? readers_ : writers_)->get();
  std::vector<Row> rows;
  r->exec("SELECT s.id, n.name, s.status, s.reason, s.score, s.frames, s.opt_guide, s.opt_floor, s.game_date,"
          " s.build, s.name_key FROM submissions s JOIN names n ON n.name_key = s.name_key WHERE s.id = $1",
          {id}, &rows);
  if (rows.empty()) return std::nullopt;
  const Row x = std::move(rows[0]);
  SubmissionRecord rec{x[0].s, x[1].s, x[2].s, x[3].s, x[8].s, x[9].s, x[4].i, x[5].i, x[6].i != 0, x[7].i != 0, {}};
  if (rec.status == "verified") {
    rows.clear();
    r->exec("SELECT id FROM submissions WHERE name_key = $1 AND opt_guide = $2 AND opt_floor = $3"
            " AND status = 'verified' ORDER BY score DESC, submitted, id LIMIT 1",
            {x[10].s, x[6].i, x[7].i}, &rows);
    if (!rows.empty() && rows[0][0].s == rec.id) {
      rows.clear();
      r->exec("SELECT COUNT(DISTINCT name_key) FROM submissions WHERE opt_guide = $1 AND opt_floor = $2"
              " AND status = 'verified' AND score > $3",
              {x[6].i, x[7].i, rec.score}, &rows);
      rec.rank = rows.at(0).at(0).i + 1;
    }
  }
  return rec;
}

bool Store::replay(const std::string& id, std::string* bytes) {
  auto r = (readers_ ? readers_ : writers_)->get();
  std::vector<Row> rows;
  r->exec("SELECT replay FROM submissions WHERE id = $1", {id}, &rows);
  if (rows.empty()) return false;
  *bytes = std::move(rows[0][0].s);
  return true;
}

int Store::withdraw(const std::string& id, const std::string& token) {
  auto w = writers_->get();
  return in_transaction(*w, true, [&] {
    std::vector<Row> rows;
    w->exec("SELECT n.token_hash FROM submissions s JOIN names n ON n.name_key = s.name_key WHERE s.id = $1", {id},
            &rows);
    if (rows.empty()) return 404;
    if (token.empty()) return 401;
    if (!same_secret(sha256_hex(token), rows[0][0].s)) return 403;
    w->exec("DELETE FROM submissions WHERE id = $1", {id});
    return 200;
  });
}

namespace {

// Each name's best game on one board (its highest score, the earliest of equal ones), then the
// names ranked by it: equal scores share a place. $1 guide, $2 floor, $3 submitted since.
const std::string kRankedBoard =
    "WITH best AS (SELECT id, name_key, score, frames, game_date, submitted,"
    "  ROW_NUMBER() OVER (PARTITION BY name_key ORDER BY score DESC, submitted, id) AS nth"
    "  FROM submissions WHERE status = 'verified' AND opt_guide = $1 AND opt_floor = $2 AND submitted >= $3),"
    " ranked AS (SELECT best.*, RANK() OVER (ORDER BY score DESC) AS place FROM best WHERE nth = 1)"
    " SELECT ranked.place, names.name, ranked.score, ranked.id, ranked.game_date, ranked.frames"
    " FROM ranked JOIN names ON names.name_key = ranked.name_key";

BoardEntry board_entry(Row& x) { return {x[0].i, std::move(x[1].s), x[2].i, std::move(x[3].s), std::move(x[4].s), x[5].i}; }

}  // namespace

Board Store::board(bool guide, bool floor, int64_t since, int64_t limit, int64_t offset) {
  auto r = (readers_ ? readers_ : writers_)->get();
  Board b;
  std::vector<Row> rows;
  r->exec(kRankedBoard + " ORDER BY ranked.score DESC, ranked.submitted, ranked.id LIMIT $4 OFFSET $5",
          {guide, floor, since, limit, offset}, &rows);
  for (Row& x : rows) b.entries.push_back(board_entry(x));
  rows.clear();
  r->exec("SELECT COUNT(DISTINCT name_key) FROM submissions"
          " WHERE status = 'verified' AND opt_guide = $1 AND opt_floor = $2 AND submitted >= $3",
          {guide, floor, since}, &rows);
  b.total = rows.at(0).at(0).i;
  return b;
}

std::optional<BoardEntry> Store::board_place(bool guide, bool floor, int64_t since, const std::string& name_key) {
  auto r = (readers_ ? readers_ : writers_)->get();
  std::vector<Row> rows;
  r->exec(kRankedBoard + " WHERE ranked.name_key = $4", {guide, floor, since, name_key}, &rows);
  if (rows.empty()) return std::nullopt;
  return board_entry(rows[0]);
}

std::optional<Job> Store::take_job(int64_t now, int64_t lease_seconds) {
  // Several processes share one PostgreSQL queue: a row one of them has locked is skipped by
  // the others, so no two take the same job.
  static const std::string kTake[2] = {
      "UPDATE submissions SET lease_owner = $1, lease_until = $2, attempts = attempts + 1"
      " WHERE id = (SELECT id FROM submissions WHERE queued = 1 AND lease_until <= $3"
      " ORDER BY submitted, id LIMIT 1) RETURNING id, replay, attempts",
      "UPDATE submissions SET lease_owner = $1, lease_until = $2, attempts = attempts + 1"
      " WHERE id = (SELECT id FROM submissions WHERE queued = 1 AND lease_until <= $3"
      " ORDER BY submitted, id LIMIT 1 FOR UPDATE SKIP LOCKED) RETURNING id, replay, attempts"};
  Job job;
  job.lease = random_hex(8);
  auto w = writers_->get();
  std::vector<Row> rows;
  w->exec(kTake[dialect_ == Dialect::Postgres ? 1 : 0], {job.lease, now + lease_seconds, now}, &rows);
  if (rows.empty()) return std::nullopt;
  job.id = std::move(rows[0][0].s);
  job.replay = std::move(rows[0][1].s);
  job.attempts = rows[0][2].i;
  return job;
}

bool Store::finish_job(const Job& job, const Verdict& v, const std::string& build, const std::string& verifier,
                       int64_t now) {
  const bool ok = v.kind == VerdictKind::Verified;
  auto w = writers_->get();
  return w->exec("UPDATE submissions SET status = $1, reason = $2, reason_kind = $3, build = $4, verified_by = $5,"
                 " verified_at = $6, queued = 0, lease_owner = NULL, lease_until = 0"
                 " WHERE id = $7 AND lease_owner = $8",
                 {ok ? "verified" : "rejected", ok ? Param(nullptr) : Param(v.reason),
                  ok ? Param(nullptr) : Param(verdict_kind_name(v.kind)), build, verifier, now, job.id, job.lease}) ==
         1;
}

void Store::release_job(const Job& job, int64_t retry_at) {
  auto w = writers_->get();
  w->exec("UPDATE submissions SET lease_owner = NULL, lease_until = $1 WHERE id = $2 AND lease_owner = $3",
          {retry_at, job.id, job.lease});
}

int64_t Store::queue_depth() {
  auto r = (readers_ ? readers_ : writers_)->get();
  std::vector<Row> rows;
  r->exec("SELECT COUNT(*) FROM submissions WHERE queued = 1", {}, &rows);
  return rows.at(0).at(0).i;
}

int64_t Store::requeue_other_builds(const std::string& build) {
  auto w = writers_->get();
  return w->exec("UPDATE submissions SET queued = 1, lease_until = 0 WHERE queued = 0 AND build <> $1", {build});
}

void Store::clear_leases() {
  auto w = writers_->get();
  w->exec("UPDATE submissions SET lease_owner = NULL, lease_until = 0 WHERE lease_owner IS NOT NULL");
}

bool Store::healthy() {
  try {
    auto r = (readers_ ? readers_ : writers_)->get();
    r->exec("SELECT 1");
    return true;
  } catch (const DbError&) {
    return false;
  }
}
