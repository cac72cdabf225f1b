// PostgreSQL through libpq: parameters sent apart from the statement (bytes in binary), results
// as text (bytes in hex).
#include <libpq-fe.h>

#include <cstdlib>
#include <memory>

#include "server/db.h"

namespace {

constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23;

struct ResultFree {
  void operator()(PGresult* r) const { PQclear(r); }
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class PgConn final : public Conn {
 public:
  explicit PgConn(const std::string& url) : pg_(PQconnectdb(url.c_str())) {
    if (pg_ == nullptr || PQstatus(pg_) != CONNECTION_OK) {
      const std::string why = pg_ != nullptr ? PQerrorMessage(pg_) : "out of memory";
      PQfinish(pg_);
      throw DbError("cannot connect to PostgreSQL: " + why);
    }
    exec("SET client_min_messages = warning", {}, nullptr);
  }
  ~PgConn() override { PQfinish(pg_); }

  Dialect dialect() const override { return Dialect::Postgres; }
  bool usable() const override { return PQstatus(pg_) == CONNECTION_OK; }
  const char* begin_write() const override { return "BEGIN"; }

  int64_t exec(const std::string& sql, std::initializer_list<Param> params, std::vector<Row>* rows) override {
    std::vector<std::string> text;  // integers in decimal
    text.reserve(params.size());
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const Param& p : params) {
      switch (p.kind) {
        case Param::Kind::Null:
          values.push_back(nullptr);
          lengths.push_back(0);
          formats.push_back(0);
          break;
        case Param::Kind::Int:
          text.push_back(std::to_string(p.i));
          values.push_back(text.back().c_str());
          lengths.push_back(0);
          formats.push_back(0);
          break;
        case Param::Kind::Text:
          text.emplace_back(p.s);  // libpq wants text parameters ended by a zero byte
          values.push_back(text.back().c_str());
          lengths.push_back(0);
          formats.push_back(0);
          break;
        case Param::Kind::Blob:
          values.push_back(p.s.data());
          lengths.push_back(static_cast<int>(p.s.size()));
          formats.push_back(1);
          break;
      }
    }
    std::unique_ptr<PGresult, ResultFree> r(PQexecParams(pg_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                                         values.data(), lengths.data(), formats.data(), 0));
    const ExecStatusType st = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
      throw DbError(std::string(PQerrorMessage(pg_)) + (state != nullptr ? std::string(" (") + state + ")" : "") +
                    " in: " + sql);
    }
    const int n = PQntuples(r.get());
    if (rows != nullptr) {
      const int cols = PQnfields(r.get());
      for (int i = 0; i < n; ++i) {
        Row& row = rows->emplace_back(static_cast<size_t>(cols));
        for (int c = 0; c < cols; ++c) {
          if (PQgetisnull(r.get(), i, c) != 0) continue;
          Value& v = row[static_cast<size_t>(c)];
          v.null = false;
          const char* s = PQgetvalue(r.get(), i, c);
          const auto len = static_cast<size_t>(PQgetlength(r.get(), i, c));
          switch (PQftype(r.get(), c)) {
            case kInt8:
            case kInt4:
            case kInt2:
              v.s.assign(s, len);
              v.i = std::strtoll(s, nullptr, 10);
              break;
            case kBool:
              v.i = s[0] == 't' ? 1 : 0;
              v.s = std::to_string(v.i);
              break;
            case kBytea:
              v.s = unhex(s, len);
              break;
            default:
              v.s.assign(s, len);
          }
        }
      }
    }
    if (st == PGRES_TUPLES_OK) return n;
    const char* changed = PQcmdTuples(r.get());
    return changed[0] != '\0' ? std::strtoll(changed, nullptr, 10) : 0;
  }

 private:
  // "\x0a1b..." as PostgreSQL writes bytes.
  static std::string unhex(const char* s, size_t len) {
    if (len < 2 || s[0] != '\\' || s[1] != 'x') throw DbError("unexpected bytea text");
    std::string out((len - 2) / 2, '\0');
    for (size_t i = 0; i < out.size(); ++i) {
      const int hi = hex_digit(s[2 + 2 * i]), lo = hex_digit(s[3 + 2 * i]);
      if (hi < 0 || lo < 0) throw DbError("unexpected bytea text");
      out[i] = static_cast<char>(hi * 16 + lo);
    }
    return out;
  }

  PGconn* pg_;
};

}  // namespace

std::unique_ptr<Conn> open_postgres(const std::string& url) { return std::make_unique<PgConn>(url); }
