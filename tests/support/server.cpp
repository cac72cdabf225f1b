#include "support/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/child.h"
#include "support/saved_game.h"
#include "support/test_pack.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

std::string built_program(const std::string& name) { return (fs::path(PIXBRK_BUILD_DIR) / name).string(); }

bool start_server(const std::vector<std::string>& args, ServerProcess* s, std::string* error) {
  static int serial = 0;
  s->log = (fs::temp_directory_path() / ("pixbrk-server-test-" + std::to_string(getpid()) + "-" +
                                         std::to_string(++serial) + ".log"))
               .string();
  std::vector<std::string> argv{built_program("pixbrk-server")};
  argv.insert(argv.end(), args.begin(), args.end());
  s->pid = spawn_program(argv, {}, "", s->log, s->log);
  if (s->pid < 0) {
    *error = "cannot start pixbrk-server";
    return false;
  }
  const std::string mark = "listening on http://";
  for (int i = 0; i < 600; ++i) {  // a sanitizer build may take a while to start
    const std::string out = slurp(s->log);
    const size_t at = out.find(mark);
    if (at != std::string::npos) {  // "listening on http://HOST:PORT/"
      const size_t slash = out.find('/', at + mark.size());
      s->port = slash == std::string::npos ? 0 : std::atoi(out.c_str() + out.rfind(':', slash) + 1);
      return s->port > 0;
    }
    if (wait_program(s->pid, 50) != -1) {
      *error = "pixbrk-server ended: " + out;
      s->pid = -1;
      return false;
    }
  }
  *error = "pixbrk-server did not start listening: " + slurp(s->log);
  return false;
}

int stop_server(ServerProcess* s) {
  if (s->pid < 0) return -1;
  const int status = stop_program(s->pid, 10000);
  s->pid = -1;
  if (status != 0) std::fprintf(stderr, "pixbrk-server ended with %d:\n%s\n", status, slurp(s->log).c_str());
  std::error_code ec;
  fs::remove(s->log, ec);
  return status;
}

int connect_local(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

int free_port() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0;
  close(fd);
  return ok ? ntohs(a.sin_port) : -1;
}

bool wait_closed(int fd, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char buf[4096];
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return true;
  }
  return false;
}

HttpReply http_request(int port, const std::string& method, const std::string& target, const std::string& body,
                       const std::vector<std::string>& headers) {
  HttpReply r;
  const int fd = connect_local(port);
  if (fd < 0) return r;
  std::string req = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  for (const std::string& h : headers) req += h + "\r\n";
  if (!body.empty() || method == "POST") req += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  req += "\r\n" + body;
  for (size_t sent = 0; sent < req.size();) {
    const ssize_t n = send(fd, req.data() + sent, req.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server stopped reading: its answer may be there all the same
    sent += static_cast<size_t>(n);
  }
  std::string in;
  char buf[65536];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 30000) <= 0) break;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    in.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  const size_t end = in.find("\r\n\r\n");
  if (in.rfind("HTTP/1.", 0) != 0 || end == std::string::npos) return r;
  r.status = std::atoi(in.c_str() + 9);
  size_t line = in.find("\r\n") + 2;
  while (line < end) {
    const size_t eol = in.find("\r\n", line);
    const size_t colon = in.find(':', line);
    if (colon < eol) {
      std::string name = in.substr(line, colon - line);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      r.headers[name] = in.substr(in.find_first_not_of(' ', colon + 1), eol - in.find_first_not_of(' ', colon + 1));
    }
    line = eol + 2;
  }
  r.body = in.substr(end + 4);
  return r;
}

std::string record_replay(const std::string& script, std::string* error) {
  TempFolder scratch;
  fs::copy_file(real_pack_path(), fs::path(scratch.path()) / "ROMDATA.BIN");
  return save_game_replay(scratch.path(), script, error) ? slurp(fs::path(scratch.path()) / "PIXBRK01.REP") : "";
}

std::string with_date(std::string replay, int64_t n) {
  // "YYYY/MM/DD hh:mm": the twelve digits of n, in the places the header's date has digits.
  for (const int at : {15, 14, 12, 11, 9, 8, 6, 5, 3, 2, 1, 0}) {
    replay[static_cast<size_t>(at)] = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  return replay;
}

std::string with_header_u32(std::string replay, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) replay[offset + i] = static_cast<char>(value >> (8 * i));
  return replay;
}
