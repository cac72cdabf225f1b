// The two databases behind one small interface: statements with numbered parameters ($1, $2,
// ...), rows of values, errors as exceptions. Only bound parameters carry input: no statement
// is ever built from a request.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

enum class Dialect : uint8_t { Sqlite, Postgres };

struct DbError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A statement's parameter: null, an integer, text or bytes.
struct Param {
  enum class Kind : uint8_t { Null, Int, Text, Blob };
  Kind kind = Kind::Null;
  int64_t i = 0;
  std::string_view s;

  Param(std::nullptr_t) {}
  Param(int64_t v) : kind(Kind::Int), i(v) {}
  Param(int v) : kind(Kind::Int), i(v) {}
  Param(bool v) : kind(Kind::Int), i(v ? 1 : 0) {}
  Param(std::string_view v) : kind(Kind::Text), s(v) {}
  Param(const std::string& v) : kind(Kind::Text), s(v) {}
  Param(const char* v) : kind(Kind::Text), s(v) {}
  static Param blob(std::string_view v) {
    Param p(v);
    p.kind = Kind::Blob;
    return p;
  }
};

// A result value: integers in `i` (and in decimal in `s`), text and bytes in `s`.
struct Value {
  bool null = true;
  int64_t i = 0;
  std::string s;
};
using Row = std::vector<Value>;

class Conn {
 public:
  virtual ~Conn() = default;
  virtual Dialect dialect() const = 0;
  // Runs one statement; result rows are appended to *rows. Returns the rows changed by an
  // INSERT, UPDATE or DELETE, or the rows returned.
  virtual int64_t exec(const std::string& sql, std::initializer_list<Param> params = {},
                       std::vector<Row>* rows = nullptr) = 0;
  // False once the connection is broken (the pool then opens a new one).
  virtual bool usable() const = 0;
  // The statement that starts a transaction that will write.
  virtual const char* begin_write() const = 0;
};

// SQLite in WAL mode, each commit flushed to the disk. Throws DbError.
std::unique_ptr<Conn> open_sqlite(const std::string& path);
// PostgreSQL through libpq ("postgresql://user@host:port/db"). Throws DbError.
std::unique_ptr<Conn> open_postgres(const std::string& url);

// Runs `body` in a transaction: commits when it returns, rolls back when it throws.
template <typename F>
auto in_transaction(Conn& c, bool write, F&& body) {
  c.exec(write ? c.begin_write() : "BEGIN");
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      c.exec("COMMIT");
    } else {
      auto r = body();
      c.exec("COMMIT");
      return r;
    }
  } catch (...) {
    try {
      if (c.usable()) c.exec("ROLLBACK");
    } catch (const DbError&) {
    }
    throw;
  }
}

// Connections handed to one thread at a time.
class Pool {
 public:
  Pool(std::function<std::unique_ptr<Conn>()> open, size_t size);

  class Lease {
   public:
    Lease(Pool* pool, std::unique_ptr<Conn> c) : pool_(pool), c_(std::move(c)) {}
    Lease(Lease&& o) noexcept : pool_(o.pool_), c_(std::move(o.c_)) { o.pool_ = nullptr; }
    Lease& operator=(Lease&&) = delete;
    ~Lease();
    Conn& operator*() { return *c_; }
    Conn* operator->() { return c_.get(); }

   private:
    Pool* pool_;
    std::unique_ptr<Conn> c_;
  };
  // Waits for a free connection; opens one when the one at hand is broken or none is open yet.
  Lease get();

 private:
  std::function<std::unique_ptr<Conn>()> open_;
  std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<std::unique_ptr<Conn>> idle_;
  size_t out_ = 0, size_;
};
