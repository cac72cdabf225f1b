// Command line of pixbrk-headless.
#include <charconv>
#include <initializer_list>
#include <cstdio>
#include <string>
#include <string_view>

#include "headless/headless.h"
#include "headless/share.h"

#if defined(_WIN32)
#include <io.h>
#define PIXBRK_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define PIXBRK_ISATTY(f) isatty(fileno(f))
#endif

namespace {

constexpr const char* kUsage =
    "usage: pixbrk-headless [options]\n"
    "  --dir DIR          working directory with ROMDATA.BIN (default: the current one)\n"
    "  --script FILE      touch script: wait N | move X Y | down | up | leave | esc | quit\n"
    "  --frames N         stop after N frames\n"
    "  --trace FILE       JSON Lines of the game state after every frame\n"
    "  --trace-every N    keep every Nth frame in the trace\n"
    "  --png N:FILE       picture of frame N (repeatable)\n"
    "  --scale S          1 (240 x 320, default) or 2 (480 x 640) for the pictures;\n"
    "                     1 to 8 with --video or --gif (default 2)\n"
    "  --wav FILE         all sound output as one WAV file\n"
    "  --replay FILE      play a replay file back until the title menu returns\n"
    "  --compose-all      compose every frame, not only those written as pictures\n"
    "  --bot              a built-in player supplies the input after the script (needs --frames)\n"
    "  --verify           with --replay: play the file and check its header's score and length\n"
    "  --info FILE        print a replay file's header without playing it (--json: as JSON)\n"
    "  --video FILE       with --replay: the game as a video, .mp4, .webm or .mkv\n"
    "  --gif FILE         with --replay: the game as an animated GIF\n"
    "  --gif-rate R       60 (default; delays of 2, 2, 1 hundredths) or 50 (every delay 2: web\n"
    "                     browsers show a delay of 1 as 10 and would play a 60 slowly)\n"
    "  --from T, --to T   the clip of --video and --gif: seconds, or frames with an f (90f),\n"
    "                     from the first play frame; default: the whole playback\n";

bool parse_count(std::string_view s, int64_t lo, int64_t* out) {
  int64_t v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size() || s.empty() || v < lo) return false;
  *out = v;
  return true;
}

int usage_error(const std::string& msg) {
  std::fprintf(stderr, "pixbrk-headless: %s\n%s", msg.c_str(), kUsage);
  return 2;
}

int error_line(const std::string& msg, int code) {
  std::fprintf(stderr, "pixbrk-headless: %s\n", msg.c_str());
  return code;
}

}  // namespace

int headless_main(int argc, char** argv) {
  HeadlessOptions o;
  bool verify = false, json = false, plays = false, gif_rate_given = false;
  std::string info_file, scale_text;
  ShareOptions share;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool has_value = false;
    if (arg.rfind("--", 0) == 0) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg.erase(eq);
        has_value = true;
      }
    }
    auto take = [&](std::string* out) {
      if (has_value) {
        *out = value;
        return true;
      }
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--compose-all") {
      o.compose_every_frame = true;
      plays = true;
    } else if (arg == "--bot") {
      o.bot = true;
      plays = true;
    } else if (arg == "--verify") {
      verify = true;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "--info") {
      if (!take(&info_file)) return usage_error("--info needs a replay file");
    } else if (arg == "--video" || arg == "--gif") {
      std::string* out = arg == "--video" ? &share.video_file : &share.gif_file;
      if (!take(out) || out->empty()) return usage_error(arg + " needs a file name");
    } else if (arg == "--gif-rate") {
      if (!take(&v) || (v != "60" && v != "50")) return usage_error("--gif-rate must be 60 or 50, got '" + v + "'");
      share.gif_rate = v == "60" ? 60 : 50;
      gif_rate_given = true;
    } else if (arg == "--from" || arg == "--to") {
      if (!take(&v) || !parse_clip_time(v, arg == "--from" ? &share.from : &share.to))
        return usage_error(arg + " needs seconds (12, 1.5) or frames (90f), got '" + v + "'");
    } else if (arg == "--dir" || arg == "--script" || arg == "--trace" || arg == "--wav" || arg == "--replay" ||
               arg == "--frames" || arg == "--trace-every" || arg == "--png" || arg == "--scale") {
      if (!take(&v)) return usage_error(arg + " needs a value");
      if (arg != "--dir" && arg != "--replay" && arg != "--scale") plays = true;
      int64_t n = 0;
      if (arg == "--dir") {
        o.dir = v;
      } else if (arg == "--script") {
        o.script_file = v;
      } else if (arg == "--trace") {
        o.trace_file = v;
      } else if (arg == "--wav") {
        o.wav_file = v;
      } else if (arg == "--replay") {
        o.replay_file = v;
      } else if (arg == "--frames") {
        if (!parse_count(v, 0, &n)) return usage_error("--frames needs a number of frames, got '" + v + "'");
        o.max_frames = n;
      } else if (arg == "--trace-every") {
        if (!parse_count(v, 1, &n)) return usage_error("--trace-every needs a number of 1 or more, got '" + v + "'");
        o.trace_every = n;
      } else if (arg == "--scale") {
        scale_text = v;  // its range depends on what is written
      } else {  // --png N:FILE
        const size_t colon = v.find(':');
        if (colon == std::string::npos || colon + 1 == v.size() ||
            !parse_count(std::string_view(v).substr(0, colon), 0, &n))
          return usage_error("--png needs FRAME:FILE, got '" + v + "'");
        o.pngs.push_back(PngRequest{n, v.substr(colon + 1)});
      }
    } else {
      return usage_error("unknown option '" + arg + "'");
    }
  }

  const bool sharing = !share.video_file.empty() || !share.gif_file.empty();
  if (!scale_text.empty()) {
    const char lo = '1', hi = sharing ? '8' : '2';
    if (scale_text.size() != 1 || scale_text[0] < lo || scale_text[0] > hi)
      return usage_error(std::string("--scale must be ") + (sharing ? "1 to 8" : "1 or 2") + ", got '" + scale_text +
                         "'");
    o.scale = share.scale = scale_text[0] - '0';
  }
  if (json && info_file.empty()) return usage_error("--json goes with --info");
  if (gif_rate_given && share.gif_file.empty()) return usage_error("--gif-rate goes with --gif");
  if ((share.from.set || share.to.set) && !sharing)
    return usage_error("--from and --to cut the clip of --video or --gif");
  if (!info_file.empty()) {
    if (plays || verify || !o.replay_file.empty() || !scale_text.empty())
      return usage_error("--info reads a file without playing it: give it alone");
    ReplayHeader h;
    std::string err;
    if (!read_replay_header(info_file, &h, &err)) return error_line(err, 2);
    std::fputs((json ? replay_info_json(h) : replay_info_text(h)).c_str(), stdout);
    return 0;
  }
  if (sharing) {
    if (o.replay_file.empty()) return usage_error("--video and --gif need --replay FILE");
    if (plays || verify)
      return usage_error("--video and --gif take only --replay, --dir, --scale, --from and --to");
    share.replay_file = o.replay_file;
    share.dir = o.dir;
    share.progress = PIXBRK_ISATTY(stderr) != 0;
    std::string err;
    int64_t frames = 0;
    const int rc = share_replay(share, &err, &frames);
    if (rc != 0) return error_line(err, rc);
    for (const std::string* out : {&share.video_file, &share.gif_file})
      if (!out->empty())
        std::printf("%s: %lld frames (%s)\n", out->c_str(), static_cast<long long>(frames),
                    replay_length_text(static_cast<uint32_t>(frames)).c_str());
    return 0;
  }
  if (verify) {
    if (o.replay_file.empty()) return usage_error("--verify needs --replay FILE");
    if (plays || !scale_text.empty())
      return usage_error("--verify plays the replay alone: it takes only --replay and --dir");
    ReplayCheck c;
    const int rc = verify_replay(o.replay_file, o.dir, &c);
    if (rc == 2) return error_line(c.message, 2);
    std::printf("%s%s\n", rc == 0 ? "verified: " : "not verified: ", c.message.c_str());
    return rc;
  }

  HeadlessResult r;
  const int rc = headless_run(o, &r);
  if (rc != 0) return error_line(r.error, rc);
  std::printf("%s\n", headless_summary(r).c_str());
  return 0;
}
