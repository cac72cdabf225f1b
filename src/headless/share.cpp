// Sharing a game: a replay file played once to find its length, then again into a video and/or
// an animated GIF of a clip of it.
#include "headless/share.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "headless/replay_check.h"
#include "headless/session.h"
#include "pack/savefile.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kSamplesPerTwoFrames = 735;  // 22,050 samples a second, 60 frames a second

std::string lower_extension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext;
}

// "  1234/5678 frames [#####.........]  12.3x real time  0:05 left", redrawn in place.
struct Progress {
  bool on = false;
  int64_t total = 0;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown{};

  void update(int64_t done, bool last = false) {
    if (!on) return;
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - shown < std::chrono::milliseconds(100)) return;
    shown = now;
    const double secs = std::chrono::duration<double>(now - start).count();
    const double speed = secs > 0 ? static_cast<double>(done) / 60.0 / secs : 0;
    const int64_t left = speed > 0 ? std::llround(static_cast<double>(total - done) / 60.0 / speed) : 0;
    const auto filled = static_cast<size_t>(total > 0 ? std::clamp<int64_t>(done * 20 / total, 0, 20) : 20);
    const std::string bar = std::string(filled, '#') + std::string(20 - filled, '.');
    std::fprintf(stderr, "\r  %lld/%lld frames [%s]  %.1fx real time  %lld:%02lld left ", static_cast<long long>(done),
                 static_cast<long long>(total), bar.c_str(), speed, static_cast<long long>(left / 60),
                 static_cast<long long>(left % 60));
    if (last) std::fputc('\n', stderr);
    std::fflush(stderr);
  }
};

}  // namespace

int64_t ClipTime::frame() const { return in_frames ? frames : std::llround(seconds * 60.0); }

bool parse_clip_time(const std::string& text, ClipTime* out) {
  ClipTime t;
  t.set = true;
  std::string s = text;
  if (!s.empty() && s.back() == 'f') {
    s.pop_back();
    t.in_frames = true;
  }
  if (s.empty() || s.find_first_not_of("0123456789.") != std::string::npos || s.front() == '.' ||
      std::count(s.begin(), s.end(), '.') > (t.in_frames ? 0 : 1) || s.size() > 12)
    return false;
  if (t.in_frames) {
    t.frames = std::stoll(s);
  } else {
    t.seconds = std::stod(s);
  }
  if (t.frame() > int64_t{REPLAY_MAX_FRAMES} * 2) return false;
  *out = t;
  return true;
}

#if !defined(PIXBRK_HAVE_VIDEO)
bool video_supported() { return false; }
VideoWriter* video_open(std::FILE*, const std::string&, VideoKind, int32_t, std::string* error) {
  *error = "video output is not built into this program (FFmpeg's libraries were not found when it was built)";
  return nullptr;
}
bool video_add_frame(VideoWriter*, const uint8_t*, const uint32_t*, std::string*) { return false; }
bool video_add_sound(VideoWriter*, const int16_t*, int32_t, std::string*) { return false; }
bool video_finish(VideoWriter*, std::string*) { return false; }
void video_close(VideoWriter*) {}
#endif

#if !defined(PIXBRK_HAVE_GIF)
bool gif_supported() { return false; }
GifWriter* gif_open(std::FILE*, int32_t, int32_t, std::string* error) {
  *error = "GIF output is not built into this program (giflib was not found when it was built)";
  return nullptr;
}
bool gif_add_frame(GifWriter*, const uint8_t*, const uint32_t*, std::string*) { return false; }
bool gif_finish(GifWriter*, std::string*) { return false; }
void gif_close(GifWriter*) {}
#endif

int share_replay(const ShareOptions& o, std::string* error, int64_t* frames) {
  // Every failure of an output is told as "--video FILE: cause" or "--gif FILE: cause".
  const std::string video_name = "--video " + o.video_file, gif_name = "--gif " + o.gif_file;
  auto output_failed = [&](const std::string& name, const std::string& why) {
    *error = name + ": " + why;
    return 1;
  };
  VideoKind kind = VideoKind::Mp4;
  if (!o.video_file.empty()) {
    static const std::map<std::string, VideoKind> kKinds = {
        {".mp4", VideoKind::Mp4}, {".webm", VideoKind::Webm}, {".mkv", VideoKind::Mkv}};
    const auto found = kKinds.find(lower_extension(o.video_file));
    if (found == kKinds.end()) return output_failed(video_name, "a video name ends in .mp4, .webm or .mkv");
    kind = found->second;
    if (!video_supported()) {
      video_open(nullptr, o.video_file, kind, o.scale, error);  // says why
      return 1;
    }
  }
  if (!o.gif_file.empty()) {
    if (lower_extension(o.gif_file) != ".gif") return output_failed(gif_name, "a GIF's name ends in .gif");
    if (!gif_supported()) {
      gif_open(nullptr, o.scale, o.gif_rate, error);
      return 1;
    }
  }
  if (o.scale < 1 || o.scale > 8) {
    *error = "the scale must be 1 to 8";
    return 1;
  }
  for (const auto& [name, path] : {std::pair{&video_name, &o.video_file}, std::pair{&gif_name, &o.gif_file}})
    if (const std::string why = path->empty() ? "" : output_problem(*path); !why.empty())
      return output_failed(*name, why);

  // A first playback, without pictures, finds the first play frame and the end.
  ReplayVerdict check;
  if (verify_replay(o.replay_file, o.dir, &check) == 2) {
    *error = check.message;
    return 2;
  }
  if (check.play.overran) {
    *error = o.replay_file + " is not a replay the game made: " + check.message;
    return 2;
  }
  const int64_t length = check.play.run_frames - check.play.first_play_frame;
  const int64_t from = o.from.set ? o.from.frame() : 0;
  const int64_t to = o.to.set ? std::min(o.to.frame(), length) : length;
  if (from >= to) {
    *error = "the clip from frame " + std::to_string(from) + " to frame " + std::to_string(to) +
             " is empty (the playback is " + std::to_string(length) + " frames, " +
             replay_length_text(static_cast<uint32_t>(length)) + ")";
    return 1;
  }
  const int64_t first = check.play.first_play_frame + from, end = check.play.first_play_frame + to;

  // The files first, so that the writers, which write into them, go before them.
  SaveStream video_out, gif_out;
  std::unique_ptr<VideoWriter, void (*)(VideoWriter*)> video(nullptr, video_close);
  std::unique_ptr<GifWriter, void (*)(GifWriter*)> gif(nullptr, gif_close);
  std::string why;
  if (!o.video_file.empty()) {
    if (!video_out.open(o.video_file, &why)) return output_failed(video_name, why);
    video.reset(video_open(video_out.file(), video_out.temp_name(), kind, o.scale, &why));
    if (!video) return output_failed(video_name, why);
  }
  if (!o.gif_file.empty()) {
    if (!gif_out.open(o.gif_file, &why)) return output_failed(gif_name, why);
    gif.reset(gif_open(gif_out.file(), o.scale, o.gif_rate, &why));
    if (!gif) return output_failed(gif_name, why);
  }
  // The first output that failed, and why.
  const std::string* failed = nullptr;
  auto good = [&](bool ok, const std::string& name) {
    if (!ok && failed == nullptr) failed = &name;
    return ok;
  };

  // The sound of frame f starts at sample f * 367.5 of the mixer's output, the clip's at its first.
  const int64_t first_sample = first * kSamplesPerTwoFrames / 2, end_sample = end * kSamplesPerTwoFrames / 2;
  int64_t next_sample = 0;
  Progress progress;
  progress.on = o.progress;
  progress.total = end - first;
  HeadlessOptions h;
  h.dir = o.dir;
  h.replay_file = o.replay_file;
  h.on_screen = [&](int64_t frame, const uint8_t* screen, const uint32_t* palette) {
    if (frame < first) return true;
    if (failed == nullptr && video) good(video_add_frame(video.get(), screen, palette, &why), video_name);
    if (failed == nullptr && gif) good(gif_add_frame(gif.get(), screen, palette, &why), gif_name);
    progress.update(frame + 1 - first, frame + 1 == end);
    return failed == nullptr && frame + 1 < end;
  };
  h.on_sound = [&](const uint8_t* pcm, size_t bytes) {
    int16_t samples[NOX_CHUNK_BYTES / 2];
    const auto n = static_cast<int64_t>(std::min(bytes, sizeof samples) / 2);
    std::memcpy(samples, pcm, static_cast<size_t>(n) * 2);
    const int64_t lo = std::max(next_sample, first_sample), hi = std::min(next_sample + n, end_sample);
    if (video && failed == nullptr && lo < hi)
      good(video_add_sound(video.get(), samples + (lo - next_sample), static_cast<int32_t>(hi - lo), &why),
           video_name);
    next_sample += n;
    return failed == nullptr;
  };
  HeadlessResult r;
  if (headless_run(h, &r) != 0) {
    *error = r.error;
    return 1;
  }
  if (failed == nullptr && video) good(video_finish(video.get(), &why), video_name);
  if (failed == nullptr && gif) good(gif_finish(gif.get(), &why), gif_name);
  video.reset();
  gif.reset();
  if (failed == nullptr && video_out.file() != nullptr) good(video_out.commit(&why), video_name);
  if (failed == nullptr && gif_out.file() != nullptr) good(gif_out.commit(&why), gif_name);
  if (failed != nullptr) return output_failed(*failed, why);
  if (frames != nullptr) *frames = end - first;
  return 0;
}
