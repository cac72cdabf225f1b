// The page's test mode (index.html?test), built as code of its own (pixbrk_test.js): a touch
// script run by the headless runner in-process, exactly as `pixbrk-headless --script S --trace T
// --trace-every K` runs it on Linux, in a fresh folder that holds nothing but ROMDATA.BIN.
#include <emscripten/emscripten.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "headless/session.h"
#include "nox_web/web.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kRunDir = "/run/work";
std::string answer;

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE const char* web_test_run(const char* script, int trace_every) {
  std::error_code ec;
  fs::remove_all("/run", ec);
  fs::create_directories(kRunDir, ec);
  if (!ec) fs::copy_file(WEB_ROMDATA_PATH, std::string(kRunDir) + "/ROMDATA.BIN", ec);
  if (ec) {
    answer = "error cannot prepare the working directory: " + ec.message();
    return answer.c_str();
  }

  HeadlessOptions options;
  options.dir = kRunDir;
  options.script_text = script;
  options.has_script_text = true;
  if (trace_every > 0) {
    options.trace_file = WEB_TEST_TRACE_PATH;
    options.trace_every = trace_every;
  }
  HeadlessResult result;
  answer = headless_run(options, &result) == 0 ? "ok " + headless_summary(result) : "error " + result.error;
  return answer.c_str();
}
