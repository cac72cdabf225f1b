// Command line of pixbrk-headless.
#include <charconv>
#include <initializer_list>
#include <cstdio>
#include <string>
#include <string_view>

#include "headless/cli.h"
#include "headless/replay_check.h"
#include "headless/session.h"
#include "headless/share.h"
#include "pack/args.h"
#include "pixbrk_version.h"

#if defined(_WIN32)
#include <io.h>
#define PIXBRK_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define PIXBRK_ISATTY(f) isatty(fileno(f))
#endif

namespace {

constexpr const char* kUsage =
    "usage: pixbrk-headless [options]       run the game from a script, a replay or the built-in player\n"
    "       pixbrk-headless --info FILE [--json]\n"
    "       pixbrk-headless --replay FILE --verify | --video FILE | --gif FILE\n"
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
    "  --gif-rate R       50 (default: every delay 2 hundredths, the game's speed in every viewer)\n"
    "                     or 60 (exact, delays of 2, 2, 1, for viewers that honour a delay of 1)\n"
    "  --from T, --to T   the clip of --video and --gif: seconds, or frames with an f (90f),\n"
    "                     from the first play frame; default: the whole playback\n"
    "  --help             show this text (--version: the version)\n"
    "Exit status: 0 done, 1 failed (the reason in one line), 2 a bad command line or, for\n"
    "--verify, --info, --video and --gif, a file that is not a playable replay.\n";

bool parse_count(std::string_view s, int64_t lo, int64_t* out) {
  int64_t v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size() || s.empty() || v < lo) return false;
  *out = v;
  return true;
}

int error_line(const std::string& msg, int code) {
  std::fprintf(stderr, "pixbrk-headless: %s\n", msg.c_str());
  return code;
}

}  // namespace

int headless_main(int argc, char** argv) {
  HeadlessOptions o;
  bool info = false, verify = false, json = false, plays = false, gif_rate_given = false;
  std::string info_file, scale_text;
  ShareOptions share;
  ArgReader a("pixbrk-headless", argc, argv, PIXBRK_VERSION);
  while (a.next()) {
    std::string v;
    int64_t n = 0;
    if (a.is_help()) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a.is_version()) {
      return 0;
    } else if (a.is_flag("--compose-all")) {
      o.compose_every_frame = plays = true;
    } else if (a.is_flag("--bot")) {
      o.bot = plays = true;
    } else if (a.is_flag("--verify")) {
      verify = true;
    } else if (a.is_flag("--json")) {
      json = true;
    } else if (a.is("--info")) {
      // Its file follows it, or stands anywhere else on the line as an operand.
      if (info) return a.usage_error("--info is given twice");
      info = true;
      if (a.optional_value(&v)) {
        if (!info_file.empty()) return a.usage_error("unexpected argument '" + v + "'");
        info_file = v;
      }
    } else if (a.is_operand() && info_file.empty()) {
      info_file = a.arg();
    } else if (a.is("--video") || a.is("--gif")) {
      std::string* out = a.is("--video") ? &share.video_file : &share.gif_file;
      if (!a.value(out, "a file name")) return 2;
    } else if (a.is("--gif-rate")) {
      if (!a.value(&v, "50 or 60")) return 2;
      if (v != "60" && v != "50") return a.usage_error("--gif-rate must be 50 or 60, not '" + v + "'");
      share.gif_rate = v == "60" ? 60 : 50;
      gif_rate_given = true;
    } else if (a.is("--from") || a.is("--to")) {
      const std::string name = a.arg();
      if (!a.value(&v, "a time")) return 2;
      if (!parse_clip_time(v, name == "--from" ? &share.from : &share.to))
        return a.usage_error(name + " needs seconds (12, 1.5) or frames (90f), not '" + v + "'");
    } else if (a.is("--dir") || a.is("--replay") || a.is("--scale")) {
      std::string* out = a.is("--dir") ? &o.dir : a.is("--replay") ? &o.replay_file : &scale_text;
      if (!a.value(out, a.is("--dir") ? "a folder" : a.is("--replay") ? "a file" : "a number")) return 2;
    } else if (a.is("--script") || a.is("--trace") || a.is("--wav")) {
      std::string* out = a.is("--script") ? &o.script_file : a.is("--trace") ? &o.trace_file : &o.wav_file;
      if (!a.value(out, "a file")) return 2;
      plays = true;
    } else if (a.is("--frames") || a.is("--trace-every")) {
      const std::string name = a.arg();
      const bool frames = name == "--frames";
      if (!a.value(&v, "a number")) return 2;
      if (!parse_count(v, frames ? 0 : 1, &n))
        return a.usage_error(name + " needs a number of frames" + (frames ? "" : " of 1 or more") + ", not '" + v +
                             "'");
      (frames ? o.max_frames : o.trace_every) = n;
      plays = true;
    } else if (a.is("--png")) {
      if (!a.value(&v, "FRAME:FILE")) return 2;
      const size_t colon = v.find(':');
      if (colon == std::string::npos || colon + 1 == v.size() ||
          !parse_count(std::string_view(v).substr(0, colon), 0, &n))
        return a.usage_error("--png needs FRAME:FILE, not '" + v + "'");
      o.pngs.push_back(PngRequest{n, v.substr(colon + 1)});
      plays = true;
    } else {
      return a.unexpected();
    }
  }
  if (a.failed()) return 2;

  const bool sharing = !share.video_file.empty() || !share.gif_file.empty();
  if (!scale_text.empty()) {
    const char lo = '1', hi = sharing ? '8' : '2';
    if (scale_text.size() != 1 || scale_text[0] < lo || scale_text[0] > hi)
      return a.usage_error(std::string("--scale must be ") + (sharing ? "1 to 8" : "1 or 2") + ", not '" +
                           scale_text + "'");
    o.scale = share.scale = scale_text[0] - '0';
  }
  if (!info_file.empty() && !info) return a.usage_error("unexpected argument '" + info_file + "'");
  if (info && info_file.empty()) return a.usage_error("--info needs a replay file");
  if (json && !info) return a.usage_error("--json goes with --info");
  if (gif_rate_given && share.gif_file.empty()) return a.usage_error("--gif-rate goes with --gif");
  if ((share.from.set || share.to.set) && !sharing)
    return a.usage_error("--from and --to cut the clip of --video or --gif");
  if (info) {
    if (plays || verify || sharing || !o.replay_file.empty() || !o.dir.empty() || !scale_text.empty())
      return a.usage_error("--info reads a file without playing it: give it alone");
    ReplayHeader h;
    std::string err;
    if (!read_replay_header(info_file, &h, &err)) return error_line(err, 2);
    std::fputs((json ? replay_info_json(h) : replay_info_text(h)).c_str(), stdout);
    return 0;
  }
  if (sharing) {
    if (o.replay_file.empty()) return a.usage_error("--video and --gif need --replay FILE");
    if (plays || verify)
      return a.usage_error("--video and --gif take only --replay, --dir, --scale, --gif-rate, --from and --to");
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
    if (o.replay_file.empty()) return a.usage_error("--verify needs --replay FILE");
    if (plays || !scale_text.empty())
      return a.usage_error("--verify plays the replay alone: it takes only --replay and --dir");
    ReplayVerdict c;
    const int rc = verify_replay(o.replay_file, o.dir, &c);
    if (rc == 2) return error_line(c.message, 2);
    std::printf("%s%s\n", rc == 0 ? "verified: " : "not verified: ", c.message.c_str());
    return rc;
  }

  HeadlessResult r;
  const int rc = headless_run(o, &r);
  if (rc != 0) return r.bad_options ? a.usage_error(r.error) : error_line(r.error, rc);
  std::printf("%s\n", headless_summary(r).c_str());
  return 0;
}
