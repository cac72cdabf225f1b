// SQLite: one file in the data folder, WAL mode (readers never wait for the writer), every
// commit flushed to the disk before it returns.
#include <sqlite3.h>

#include <unordered_map>

#include "server/db.h"

namespace {

class SqliteConn final : public Conn {
 public:
  explicit SqliteConn(const std::string& path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      const std::string why = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw DbError("cannot open " + path + ": " + why);
    }
    sqlite3_busy_timeout(db_, 10000);
    exec("PRAGMA journal_mode=WAL", {}, nullptr);
    exec("PRAGMA synchronous=FULL", {}, nullptr);
    exec("PRAGMA foreign_keys=ON", {}, nullptr);
  }
  ~SqliteConn() override {
    for (auto& [sql, st] : statements_) sqlite3_finalize(st);
    sqlite3_close(db_);
  }

  Dialect dialect() const override { return Dialect::Sqlite; }
  bool usable() const override { return true; }
  const char* begin_write() const override { return "BEGIN IMMEDIATE"; }

  int64_t exec(const std::string& sql, std::initializer_list<Param> params, std::vector<Row>* rows) override {
    sqlite3_stmt* st = prepare(sql);
    int n = 1;
    for (const Param& p : params) {
      int rc = SQLITE_OK;
      switch (p.kind) {
        case Param::Kind::Null: rc = sqlite3_bind_null(st, n); break;
        case Param::Kind::Int: rc = sqlite3_bind_int64(st, n, p.i); break;
        case Param::Kind::Text:
          rc = sqlite3_bind_text64(st, n, p.s.data(), p.s.size(), SQLITE_STATIC, SQLITE_UTF8);
          break;
        case Param::Kind::Blob: rc = sqlite3_bind_blob64(st, n, p.s.data(), p.s.size(), SQLITE_STATIC); break;
      }
      if (rc != SQLITE_OK) fail(st, sql);
      ++n;
    }
    int64_t returned = 0;
    for (;;) {
      const int rc = sqlite3_step(st);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) fail(st, sql);
      ++returned;
      if (rows == nullptr) continue;
      Row& row = rows->emplace_back(static_cast<size_t>(sqlite3_column_count(st)));
      for (int c = 0; c < static_cast<int>(row.size()); ++c) {
        Value& v = row[static_cast<size_t>(c)];
        switch (sqlite3_column_type(st, c)) {
          case SQLITE_NULL: break;
          case SQLITE_INTEGER:
            v.null = false;
            v.i = sqlite3_column_int64(st, c);
            v.s = std::to_string(v.i);
            break;
          default: {
            v.null = false;
            const void* b = sqlite3_column_blob(st, c);
            v.s.assign(static_cast<const char*>(b), static_cast<size_t>(sqlite3_column_bytes(st, c)));
            break;
          }
        }
      }
    }
    const bool changes = sqlite3_stmt_readonly(st) == 0 && sqlite3_column_count(st) == 0;
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return changes ? sqlite3_changes64(db_) : returned;
  }

 private:
  // Statements are prepared once per connection; "$n" is SQLite's "?n".
  sqlite3_stmt* prepare(const std::string& sql) {
    const auto found = statements_.find(sql);
    if (found != statements_.end()) return found->second;
    std::string text = sql;
    for (char& c : text)
      if (c == '$') c = '?';
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, text.c_str(), static_cast<int>(text.size()), &st, nullptr) != SQLITE_OK)
      throw DbError(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
    statements_.emplace(sql, st);
    return st;
  }

  [[noreturn]] void fail(sqlite3_stmt* st, const std::string& sql) {
    const std::string why = sqlite3_errmsg(db_);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    throw DbError(why + " in: " + sql);
  }

  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace

std::unique_ptr<Conn> open_sqlite(const std::string& path) { return std::make_unique<SqliteConn>(path); }
