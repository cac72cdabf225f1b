// Sharing a game: a replay file turned into a video or an animated GIF.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// A point of the playback: seconds, or frames with an "f" suffix ("12", "1.5", "90f"), counted
// from the first play frame.
struct ClipTime {
  bool set = false;
  bool in_frames = false;
  double seconds = 0;
  int64_t frames = 0;
  int64_t frame() const;  // the frame it names (seconds rounded to the nearest frame)
};
// Parses "12", "1.5" or "90f" (no sign, at most 131,072 frames' worth). False when malformed.
bool parse_clip_time(const std::string& text, ClipTime* out);

struct ShareOptions {
  std::string replay_file;
  std::string dir;         // working directory with ROMDATA.BIN; empty = the current one
  std::string video_file;  // .mp4, .webm or .mkv; empty = none
  std::string gif_file;    // .gif; empty = none
  int32_t scale = 2;       // 1 to 8
  // GIF frames a second: 50 (every sixth game frame left out, every delay 2 hundredths), which
  // plays at the game's speed everywhere; or 60 (delays of 2, 2, 1), exact, for viewers that
  // honour a delay of 1 hundredth (web browsers show it as 10: a third of the speed).
  int32_t gif_rate = 50;
  ClipTime from, to;       // the clip is [from, to); unset = the start and the end of the playback
  bool progress = false;   // a progress line on standard error
};

// Plays the replay once to find where it ends, then again while encoding the clip's pictures and
// sound. Each output is written as every file is (pack/savefile.h), so a failure leaves nothing
// under the requested name. Returns 0, 2 when the file is not a
// playable replay, 1 on any other failure; *error then holds a one-line reason. *frames, when
// given, gets the number of frames written.
int share_replay(const ShareOptions& options, std::string* error, int64_t* frames = nullptr);

// Which container and codecs a video file name asks for.
enum class VideoKind : uint8_t { Mp4, Webm, Mkv };

// Video and GIF writers. They exist in builds that found FFmpeg's libraries and giflib;
// `*_supported()` says whether this build has them (otherwise open always fails). They write
// into a file the caller has created and closes; failures come back as their cause in *error.
struct VideoWriter;
bool video_supported();
// `path` is the file's name: the .mp4 muxer reads the file back by it to put its index first.
VideoWriter* video_open(std::FILE* file, const std::string& path, VideoKind kind, int32_t scale,
                        std::string* error);
// One 240 x 320 frame of palette indices and the palette it is shown with.
bool video_add_frame(VideoWriter* v, const uint8_t* screen, const uint32_t* palette, std::string* error);
// 16-bit mono samples at 22,050 Hz.
bool video_add_sound(VideoWriter* v, const int16_t* samples, int32_t count, std::string* error);
bool video_finish(VideoWriter* v, std::string* error);  // flushes the encoders and closes the file
void video_close(VideoWriter* v);                        // frees it (after finish, or to give up)

struct GifWriter;
bool gif_supported();
GifWriter* gif_open(std::FILE* file, int32_t scale, int32_t rate, std::string* error);
bool gif_add_frame(GifWriter* w, const uint8_t* screen, const uint32_t* palette, std::string* error);
bool gif_finish(GifWriter* w, std::string* error);  // ends the GIF and flushes the file
void gif_close(GifWriter* w);
