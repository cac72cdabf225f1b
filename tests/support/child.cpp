#include "support/child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace {

// NAME=VALUE carried by every child of this test program, and the watcher that ends the marked
// processes when the program is gone; both made at the first start.
std::string reap_mark;

void start_watcher() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const pid_t self = getpid();
  reap_mark = "PIXBRK_REAP_" + std::to_string(self) + "=" + std::to_string(now.tv_sec) + std::to_string(now.tv_nsec);
  const std::string pid_text = std::to_string(self);
  const pid_t watcher = fork();
  if (watcher != 0) return;
  // Its own session: a Ctrl-C meant for the tests must not end it before it has done its work.
  setsid();
  const int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  dup2(null, 1);
  execlp("bash", "bash", PIXBRK_REAPER, "watch", pid_text.c_str(), reap_mark.c_str(), static_cast<char*>(nullptr));
  _exit(127);
}

// The environment as NAME=value strings: this program's, then each addition in turn, replacing
// an entry of the same name (so a later addition wins over an earlier one).
std::vector<std::string> child_environment(const std::vector<std::string>& add) {
  std::vector<std::string> out;
  for (char** e = environ; *e != nullptr; ++e) out.emplace_back(*e);
  for (const std::string& a : add) {
    const size_t eq = a.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = a.substr(0, eq + 1);
    std::erase_if(out, [&](const std::string& e) { return e.compare(0, name.size(), name) == 0; });
    out.push_back(a);
  }
  return out;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

pid_t spawn_program(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd,
                    const std::string& out_path, const std::string& err_path, int keep_fd) {
  if (argv.empty()) return -1;
  if (reap_mark.empty()) start_watcher();
  std::vector<std::string> add = env;
  add.push_back(reap_mark);
  // Everything the child needs is made before the fork: it only calls async-signal-safe
  // functions until the exec.
  const std::vector<std::string> env_strings = child_environment(add);
  std::vector<char*> envp;
  for (const std::string& e : env_strings) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const char* out_file = out_path.empty() ? "/dev/null" : out_path.c_str();
  const char* err_file = err_path.empty() ? "/dev/null" : err_path.c_str();
  const pid_t parent = getpid();

  const pid_t pid = fork();
  if (pid != 0) return pid;
  end_with_parent(parent);
  if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
  const int out = open(out_file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = open(err_file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(out, 1);
  dup2(err, 2);
  if (keep_fd >= 0) fcntl(keep_fd, F_SETFD, 0);
  // Signals as a normal start from a shell would have them.
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  execvpe(args[0], args.data(), envp.data());
  _exit(127);
}

void end_with_parent(pid_t parent) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(126);  // the test program died before the line above
}

int wait_program(pid_t pid, int timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      return -2;
    }
    if (r < 0) return -2;
    if (std::chrono::steady_clock::now() >= until) return -1;
    sleep_ms(5);
  }
}

int stop_program(pid_t pid, int grace_ms) {
  if (pid <= 0) return -2;
  kill(pid, SIGTERM);
  int status = wait_program(pid, grace_ms);
  if (status == -1) {
    kill(pid, SIGKILL);
    status = wait_program(pid, 5000);
  }
  return status;
}

int run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                const std::string& err_path) {
  const pid_t pid = spawn_program(argv, env, "", "", err_path);
  if (pid < 0) return -2;
  const int status = wait_program(pid, 20000);
  if (status == -1) stop_program(pid, 0);
  return status;
}
