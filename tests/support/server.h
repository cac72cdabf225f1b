// For the server's tests and benchmarks: pixbrk-server started as a child (it ends with the
// test, see child.h), a plain HTTP/1.1 client over a socket, and replay files made by the runner.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ServerProcess {
  pid_t pid = -1;
  int port = 0;
  std::string log;  // its standard output and error
};

// Starts build/<preset>/pixbrk-server with `args` (add "--listen 127.0.0.1:0": the port it
// picks is read from its first line) and waits until it listens. False with *error otherwise.
bool start_server(const std::vector<std::string>& args, ServerProcess* s, std::string* error);
// SIGTERM, then SIGKILL after a grace time; returns its exit status.
int stop_server(ServerProcess* s);

struct HttpReply {
  int status = 0;  // 0: no answer (the connection failed or was closed first)
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

// One request on a fresh connection to 127.0.0.1:port ("Connection: close"). `headers` are
// whole lines ("Authorization: Bearer ..."). A body that the server stops reading is still
// followed by reading its answer.
HttpReply http_request(int port, const std::string& method, const std::string& target, const std::string& body = "",
                       const std::vector<std::string>& headers = {});
// A connected socket to 127.0.0.1:port, or -1.
int connect_local(int port);
// Waits until the peer closes `fd` (reading and dropping what it sends): true when it did
// within `timeout_ms`.
bool wait_closed(int fd, int timeout_ms);
// A TCP port that was free a moment ago.
int free_port();

// A replay made by the runner in a scratch folder: the game that `script` (a touch script file)
// plays and saves into slot 1, or, with an empty script, a game of the built-in player saved
// through the save menu. Empty with *error when none was saved.
std::string record_replay(const std::string& script, std::string* error);
// The same game with another date in its header: other bytes that play alike (n < 10^12).
std::string with_date(std::string replay, int64_t n);
// The header's score (tens of points) or frame count replaced.
std::string with_header_u32(std::string replay, size_t offset, uint32_t value);

// The path of a program built beside the tests.
std::string built_program(const std::string& name);
