// Video files of a played game, encoded with FFmpeg's libraries: the picture at a whole scale,
// 60 frames a second, with the mixer's sound.
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "game/core.h"
#include "headless/share.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kMixRate = 22050;

std::string av_error(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buf, sizeof buf);
  return buf;
}

struct Codecs {
  const char* muxer;
  const char* video;  // encoder name
  AVPixelFormat pix_fmt;
  const char* video_options;
  const char* audio;
  int64_t audio_bit_rate;
};

// H.264 and AAC play everywhere; VP9 and Opus are the open web's pair; FFV1 and FLAC keep every
// pixel and sample for editing. The lossy two are 4:2:0, which keeps colour edges exact at even
// scales, where every 2 x 2 block of chroma covers one pixel of the game.
Codecs codecs_for(VideoKind kind) {
  switch (kind) {
    case VideoKind::Mp4:
      // The fastest preset with arithmetic coding, B-frames and macroblock-tree rate control added
      // back: 10 times real time at 2x on a 2-core machine, and half the size of the bare preset.
      // No deblocking filter, which would soften the blocks.
      return {"mp4", "libx264", AV_PIX_FMT_YUV420P,
              "preset=ultrafast:crf=18:x264-params=cabac=1:mbtree=1:rc-lookahead=10:bframes=3", "aac", 96000};
    case VideoKind::Webm:
      return {"webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, "deadline=realtime:cpu-used=8:row-mt=1:crf=30:b=0",
              "libopus", 64000};
    case VideoKind::Mkv:
    default:
      return {"matroska", "ffv1", AV_PIX_FMT_BGR0, "level=3:slices=4", "flac", 0};
  }
}

// The lowest rate the encoder takes that keeps the mixer's 22,050 Hz, else its highest.
int audio_rate(const AVCodec* codec) {
  if (codec->supported_samplerates == nullptr) return kMixRate;
  int best = 0, highest = 0;
  for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
    highest = std::max(highest, *r);
    if (*r >= kMixRate && (best == 0 || *r < best)) best = *r;
  }
  return best != 0 ? best : highest;
}

// FFmpeg writes the file through these, into the file the caller created.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
int write_bytes(void* opaque, const uint8_t* buf, int size) {
#else
int write_bytes(void* opaque, uint8_t* buf, int size) {
#endif
  const bool ok = std::fwrite(buf, 1, static_cast<size_t>(size), static_cast<std::FILE*>(opaque)) ==
                  static_cast<size_t>(size);
  return ok ? size : AVERROR(errno != 0 ? errno : EIO);
}

int64_t seek_bytes(void* opaque, int64_t offset, int whence) {
  auto* f = static_cast<std::FILE*>(opaque);
  if ((whence & AVSEEK_SIZE) != 0) {
    const off_t here = ftello(f);
    if (here < 0 || fseeko(f, 0, SEEK_END) != 0) return AVERROR(EIO);
    const off_t size = ftello(f);
    return fseeko(f, here, SEEK_SET) == 0 ? size : AVERROR(EIO);
  }
  return fseeko(f, offset, whence & ~AVSEEK_FORCE) == 0 ? ftello(f) : AVERROR(EIO);
}

}  // namespace

struct VideoWriter {
  int32_t scale = 2;
  AVFormatContext* fmt = nullptr;
  AVCodecContext* venc = nullptr;
  AVCodecContext* aenc = nullptr;
  AVStream* vst = nullptr;
  AVStream* ast = nullptr;
  SwsContext* sws = nullptr;
  SwrContext* swr = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* rgb = nullptr;  // the scaled picture: BGR0 for the lossless encoder, else BGR24
  AVFrame* yuv = nullptr;  // the encoder's picture when it is not RGB
  AVFrame* pcm = nullptr;  // one encoder frame of sound
  AVPacket* pkt = nullptr;
  std::vector<uint8_t> line;  // one scaled row, with room for a last 4-byte store
  int64_t video_pts = 0;
  int64_t audio_pts = 0;

  ~VideoWriter() {
    av_packet_free(&pkt);
    av_frame_free(&pcm);
    av_frame_free(&yuv);
    av_frame_free(&rgb);
    if (fifo != nullptr) av_audio_fifo_free(fifo);
    swr_free(&swr);
    sws_freeContext(sws);
    avcodec_free_context(&aenc);
    avcodec_free_context(&venc);
    if (fmt != nullptr) {
      if (fmt->pb != nullptr) av_freep(&fmt->pb->buffer);
      avio_context_free(&fmt->pb);
      avformat_free_context(fmt);
    }
  }

  bool fail(std::string* error, const std::string& what, int code = 0) {
    *error = what + (code < 0 ? " (" + av_error(code) + ")" : "");
    return false;
  }

  // Sends a frame (null: flush) and writes every packet the encoder has ready.
  bool encode(AVCodecContext* enc, AVStream* st, const AVFrame* frame, std::string* error) {
    int rc = avcodec_send_frame(enc, frame);
    if (rc < 0) return fail(error, "encoding failed", rc);
    for (;;) {
      rc = avcodec_receive_packet(enc, pkt);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return fail(error, "encoding failed", rc);
      av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
      pkt->stream_index = st->index;
      rc = av_interleaved_write_frame(fmt, pkt);
      if (rc < 0) return fail(error, "writing failed", rc);
    }
  }

  // Converts `count` samples (with none, what the resampler still holds) into the queue.
  bool resample(const uint8_t* in, int count, std::string* error) {
    const int room = swr_get_out_samples(swr, count);
    if (room <= 0) return true;
    uint8_t** converted = nullptr;
    const int rc = av_samples_alloc_array_and_samples(&converted, nullptr, 1, room, aenc->sample_fmt, 0);
    if (rc < 0) return fail(error, "out of memory", rc);
    const int got = swr_convert(swr, converted, room, in != nullptr ? &in : nullptr, count);
    const bool ok = got >= 0 && av_audio_fifo_write(fifo, reinterpret_cast<void**>(converted), got) == got;
    av_freep(&converted[0]);
    av_freep(&converted);
    return ok || fail(error, "resampling failed", got);
  }

  // Encodes whole encoder frames from the queue; with `all`, the short rest as well.
  bool drain_sound(bool all, std::string* error) {
    const int size = aenc->frame_size > 0 ? aenc->frame_size : 1024;
    while (av_audio_fifo_size(fifo) >= size || (all && av_audio_fifo_size(fifo) > 0)) {
      const int n = std::min(size, av_audio_fifo_size(fifo));
      av_frame_unref(pcm);
      pcm->nb_samples = n;
      pcm->format = aenc->sample_fmt;
      pcm->sample_rate = aenc->sample_rate;
      av_channel_layout_copy(&pcm->ch_layout, &aenc->ch_layout);
      int rc = av_frame_get_buffer(pcm, 0);
      if (rc < 0) return fail(error, "out of memory", rc);
      if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(pcm->data), n) != n) return fail(error, "sound queue");
      pcm->pts = audio_pts;
      audio_pts += n;
      if (!encode(aenc, ast, pcm, error)) return false;
    }
    return true;
  }
};

bool video_supported() { return true; }

VideoWriter* video_open(std::FILE* file, const std::string& path, VideoKind kind, int32_t scale,
                        std::string* error) {
  av_log_set_level(AV_LOG_QUIET);  // failures come back as results, and are reported in one line
  auto v = std::make_unique<VideoWriter>();
  v->scale = scale;
  const Codecs c = codecs_for(kind);
  const int w = NOX_W * scale, h = NOX_H * scale;

  int rc = avformat_alloc_output_context2(&v->fmt, nullptr, c.muxer, path.c_str());
  if (rc < 0) return v->fail(error, std::string("no ") + c.muxer + " muxer", rc), nullptr;
  const AVCodec* vcodec = avcodec_find_encoder_by_name(c.video);
  const AVCodec* acodec = avcodec_find_encoder_by_name(c.audio);
  if (vcodec == nullptr || acodec == nullptr)
    return v->fail(error, std::string("this FFmpeg has no ") + (vcodec == nullptr ? c.video : c.audio) + " encoder"),
           nullptr;
  const bool global_header = (v->fmt->oformat->flags & AVFMT_GLOBALHEADER) != 0;

  // Picture.
  v->venc = avcodec_alloc_context3(vcodec);
  v->venc->width = w;
  v->venc->height = h;
  v->venc->time_base = AVRational{1, 60};
  v->venc->framerate = AVRational{60, 1};
  v->venc->pix_fmt = c.pix_fmt;
  v->venc->gop_size = 240;
  v->venc->thread_count = 0;
  const bool to_yuv = c.pix_fmt != AV_PIX_FMT_BGR0;
  if (to_yuv) {
    // The colour conversion's own: BT.601 matrix, limited range; sRGB-like primaries.
    v->venc->color_range = AVCOL_RANGE_MPEG;
    v->venc->colorspace = AVCOL_SPC_SMPTE170M;
    v->venc->color_primaries = AVCOL_PRI_BT709;
    v->venc->color_trc = AVCOL_TRC_IEC61966_2_1;
  }
  if (global_header) v->venc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* options = nullptr;
  av_dict_parse_string(&options, c.video_options, "=", ":", 0);
  rc = avcodec_open2(v->venc, vcodec, &options);
  av_dict_free(&options);
  if (rc < 0) return v->fail(error, std::string("cannot start ") + c.video, rc), nullptr;

  // Sound: mono, resampled only where the encoder needs another rate or sample format.
  v->aenc = avcodec_alloc_context3(acodec);
  v->aenc->sample_fmt = acodec->sample_fmts != nullptr ? acodec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  v->aenc->sample_rate = audio_rate(acodec);
  v->aenc->time_base = AVRational{1, v->aenc->sample_rate};
  av_channel_layout_default(&v->aenc->ch_layout, 1);
  if (c.audio_bit_rate > 0) v->aenc->bit_rate = c.audio_bit_rate;
  if (global_header) v->aenc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  rc = avcodec_open2(v->aenc, acodec, nullptr);
  if (rc < 0) return v->fail(error, std::string("cannot start ") + c.audio, rc), nullptr;

  v->vst = avformat_new_stream(v->fmt, nullptr);
  v->ast = avformat_new_stream(v->fmt, nullptr);
  if (v->vst == nullptr || v->ast == nullptr) return v->fail(error, "out of memory"), nullptr;
  avcodec_parameters_from_context(v->vst->codecpar, v->venc);
  avcodec_parameters_from_context(v->ast->codecpar, v->aenc);
  v->vst->time_base = v->venc->time_base;
  v->vst->avg_frame_rate = v->venc->framerate;
  v->ast->time_base = v->aenc->time_base;

  AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
  rc = swr_alloc_set_opts2(&v->swr, &v->aenc->ch_layout, v->aenc->sample_fmt, v->aenc->sample_rate, &mono,
                           AV_SAMPLE_FMT_S16, kMixRate, 0, nullptr);
  if (rc < 0 || (rc = swr_init(v->swr)) < 0) return v->fail(error, "cannot set up the resampler", rc), nullptr;
  v->fifo = av_audio_fifo_alloc(v->aenc->sample_fmt, 1, 4096);

  v->rgb = av_frame_alloc();
  // From BGR24, swscale converts to 4:2:0 two to three times faster than from BGR0.
  v->rgb->format = to_yuv ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGR0;
  v->rgb->width = w;
  v->rgb->height = h;
  v->line.resize(static_cast<size_t>(w) * 4 + 1);
  v->pcm = av_frame_alloc();
  v->pkt = av_packet_alloc();
  if (v->fifo == nullptr || v->rgb == nullptr || v->pcm == nullptr || v->pkt == nullptr ||
      av_frame_get_buffer(v->rgb, 0) < 0)
    return v->fail(error, "out of memory"), nullptr;
  if (to_yuv) {
    // Same size, colour conversion only: each block of the picture is already there.
    v->sws = sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, c.pix_fmt, SWS_POINT, nullptr, nullptr, nullptr);
    v->yuv = av_frame_alloc();
    if (v->sws == nullptr || v->yuv == nullptr) return v->fail(error, "cannot set up the colour conversion"), nullptr;
    v->yuv->format = c.pix_fmt;
    v->yuv->width = w;
    v->yuv->height = h;
    v->yuv->color_range = AVCOL_RANGE_MPEG;
    v->yuv->colorspace = AVCOL_SPC_SMPTE170M;
    if (av_frame_get_buffer(v->yuv, 0) < 0) return v->fail(error, "out of memory"), nullptr;
  }

  constexpr int kIoBytes = 1 << 16;
  auto* io_buffer = static_cast<uint8_t*>(av_malloc(kIoBytes));
  v->fmt->pb = io_buffer != nullptr
                   ? avio_alloc_context(io_buffer, kIoBytes, 1, file, nullptr, write_bytes, seek_bytes)
                   : nullptr;
  if (v->fmt->pb == nullptr) {
    av_free(io_buffer);
    return v->fail(error, "out of memory"), nullptr;
  }
  v->fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
  AVDictionary* mux = nullptr;
  if (kind == VideoKind::Mp4) av_dict_set(&mux, "movflags", "+faststart", 0);  // playable while it loads
  rc = avformat_write_header(v->fmt, &mux);
  av_dict_free(&mux);
  if (rc < 0) return v->fail(error, "cannot start the file", rc), nullptr;
  return v.release();
}

bool video_add_frame(VideoWriter* v, const uint8_t* screen, const uint32_t* palette, std::string* error) {
  AVFrame* out = v->yuv != nullptr ? v->yuv : v->rgb;
  // The encoder may still hold the last frame it was given.
  if (av_frame_make_writable(v->rgb) < 0 || (v->yuv != nullptr && av_frame_make_writable(v->yuv) < 0))
    return v->fail(error, "out of memory");
  // Each row is made once, four bytes stored per pixel and the next pixel written over the
  // fourth where pixels are three bytes, then copied into the picture `scale` times.
  static_assert(std::endian::native == std::endian::little);
  const int32_t s = v->scale;
  const size_t bytes = v->yuv != nullptr ? 3 : 4;  // B, G, R (, 0)
  const size_t row_bytes = bytes * static_cast<size_t>(NOX_W * s);
  const ptrdiff_t pitch = v->rgb->linesize[0];
  for (int32_t y = 0; y < NOX_H; ++y) {
    const uint8_t* src = screen + y * NOX_W;
    uint8_t* p = v->line.data();
    for (int32_t x = 0; x < NOX_W; ++x) {
      const uint32_t bgr0 = palette[src[x]] & 0xFFFFFF;
      for (int32_t k = 0; k < s; ++k, p += bytes) std::memcpy(p, &bgr0, 4);
    }
    for (int32_t k = 0; k < s; ++k) std::memcpy(v->rgb->data[0] + (y * s + k) * pitch, v->line.data(), row_bytes);
  }
  if (v->yuv != nullptr)
    sws_scale(v->sws, v->rgb->data, v->rgb->linesize, 0, v->rgb->height, v->yuv->data, v->yuv->linesize);
  out->pts = v->video_pts++;
  return v->encode(v->venc, v->vst, out, error);
}

bool video_add_sound(VideoWriter* v, const int16_t* samples, int32_t count, std::string* error) {
  return v->resample(reinterpret_cast<const uint8_t*>(samples), count, error) && v->drain_sound(false, error);
}

bool video_finish(VideoWriter* v, std::string* error) {
  // What the resampler still holds, then the rest of the sound, then both encoders' delay.
  if (!v->resample(nullptr, 0, error) || !v->drain_sound(true, error) || !v->encode(v->venc, v->vst, nullptr, error) ||
      !v->encode(v->aenc, v->ast, nullptr, error))
    return false;
  const int rc = av_write_trailer(v->fmt);
  if (rc < 0) return v->fail(error, "cannot finish the file", rc);
  avio_flush(v->fmt->pb);
  if (v->fmt->pb->error < 0) return v->fail(error, "cannot finish the file", v->fmt->pb->error);
  return true;
}

void video_close(VideoWriter* v) { delete v; }
