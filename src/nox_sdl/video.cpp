#include "nox_sdl/video.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "game/core.h"
#include "headless/output.h"
#include "host/display_fit.h"
#include "nox_sdl/host.h"
#include "pack/log.h"

namespace {

SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
SDL_Texture* mark_texture = nullptr;
int vsync = 0;
int32_t scale = 2;
bool texture_blended = false;  // the picture is shown below 1x, with linear filtering
uint32_t kept[NOX_W * NOX_H];  // the picture of a frame that is written as a screenshot

// The pointer mark, in virtual pixels: a white cross with a dark rim and an open centre, so it
// shows on every colour the game uses. '#' white, 'o' dark, '.' clear.
constexpr int MARK_SIZE = 13;
constexpr const char* MARK[MARK_SIZE] = {
    ".....ooo.....",
    ".....o#o.....",
    ".....o#o.....",
    ".....o#o.....",
    ".....ooo.....",
    "ooooo...ooooo",
    "o###o.#.o###o",
    "ooooo...ooooo",
    ".....ooo.....",
    ".....o#o.....",
    ".....o#o.....",
    ".....o#o.....",
    ".....ooo.....",
};
constexpr uint8_t BAR_GREY = 12;  // the bars around the picture: nearly black

// A failure to make the mark only costs the mark.
void make_mark() {
  mark_texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, MARK_SIZE, MARK_SIZE);
  if (mark_texture == nullptr) return;
  uint32_t pixels[MARK_SIZE * MARK_SIZE];
  for (int y = 0; y < MARK_SIZE; ++y) {
    for (int x = 0; x < MARK_SIZE; ++x) {
      const char c = MARK[y][x];
      pixels[y * MARK_SIZE + x] = c == '#' ? 0xFFFFFFFFu : c == 'o' ? 0xFF101018u : 0u;
    }
  }
  // Sharp, as the hint made every texture; blended over the picture, as SDL does a texture with
  // alpha.
  SDL_UpdateTexture(mark_texture, nullptr, pixels, MARK_SIZE * 4);
}

}  // namespace

int video_init(SDL_Window* window, int want_vsync) {
  // Sharp pixels whatever the renderer's default filter is: the textures made after this take it.
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  Uint32 flags = SDL_RENDERER_ACCELERATED;
  if (want_vsync) flags |= SDL_RENDERER_PRESENTVSYNC;
  renderer = SDL_CreateRenderer(window, -1, flags);
  if (renderer == nullptr) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  if (renderer == nullptr) {
    putlog(HOST_SOURCE, LOG_LINE_RENDERER_FAILED, "SDL_CreateRenderer failed: %s", SDL_GetError());
    video_term();
    return -1;
  }
  SDL_RendererInfo info{};
  SDL_GetRendererInfo(renderer, &info);
  vsync = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0 ? 1 : 0;
  putlog(HOST_SOURCE, LOG_LINE_RENDERER, "Using: %s%s", info.name, vsync ? "+vsync" : "");
  texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, NOX_W, NOX_H);
  if (texture == nullptr) {
    putlog(HOST_SOURCE, LOG_LINE_PICTURE_BUFFER_FAILED, "SDL_CreateTexture failed: %s", SDL_GetError());
    video_term();
    return -1;
  }
  // Sharp, by the hint; and copied over what is there, as SDL copies a texture without alpha.
  texture_blended = false;
  make_mark();
  return 0;
}

int video_compose(bool keep) {
  if (keep) {
    // A locked texture's memory is for writing only: compose into the copy and upload it.
    game_compose(NOX_W * 4, kept);
    if (SDL_UpdateTexture(texture, nullptr, kept, NOX_W * 4) != 0) {
      putlog(HOST_SOURCE, LOG_LINE_LOCK, "SDL_UpdateTexture failed: %s", SDL_GetError());
      return -1;
    }
    return 0;
  }
  void* pixels = nullptr;
  int pitch = 0;
  if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) {
    putlog(HOST_SOURCE, LOG_LINE_LOCK, "SDL_LockTexture failed: %s", SDL_GetError());
    return -1;
  }
  game_compose(pitch, pixels);
  SDL_UnlockTexture(texture);
  return 0;
}

int video_present(bool mark, int32_t mark_x, int32_t mark_y) {
  int out_w = NOX_W;
  int out_h = NOX_H;
  SDL_GetRendererOutputSize(renderer, &out_w, &out_h);
  const DisplayFit fit = display_fit(out_w, out_h, out_w, out_h);
  scale = fit.scale;
  const SDL_Rect picture{fit.x, fit.y, fit.pic_w, fit.pic_h};
  // Sharp blocks at whole scales; below 1x every output pixel stands for more than one virtual
  // pixel, and blending them keeps thin lines and small text from dropping out.
  const bool shrunk = fit.pic_w < NOX_W || fit.pic_h < NOX_H;
  if (shrunk != texture_blended) {
    texture_blended = shrunk;
    SDL_SetTextureScaleMode(texture, shrunk ? SDL_ScaleModeLinear : SDL_ScaleModeNearest);
  }
  if (picture.x > 0 || picture.y > 0) {
    SDL_SetRenderDrawColor(renderer, BAR_GREY, BAR_GREY, BAR_GREY, 255);
    SDL_RenderClear(renderer);
  }
  if (SDL_RenderCopy(renderer, texture, nullptr, &picture) != 0) {
    putlog(HOST_SOURCE, LOG_LINE_COPY, "SDL_RenderCopy failed: %s", SDL_GetError());
    return -1;
  }
  if (mark && mark_texture != nullptr) {
    const SDL_Rect at{fit.x + (mark_x - MARK_SIZE / 2) * fit.pic_w / NOX_W,
                      fit.y + (mark_y - MARK_SIZE / 2) * fit.pic_h / NOX_H, MARK_SIZE * fit.pic_w / NOX_W,
                      MARK_SIZE * fit.pic_h / NOX_H};
    SDL_RenderSetClipRect(renderer, &picture);
    SDL_RenderCopy(renderer, mark_texture, nullptr, &at);
    SDL_RenderSetClipRect(renderer, nullptr);
  }
  SDL_RenderPresent(renderer);
  return 0;
}

int video_screenshot(uint64_t frame) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "PIXBRK_%Y%m%d_%H%M%S", &local);
  char name[48];
  std::snprintf(name, sizeof name, "%s.png", stamp);
  for (int n = 2; access(name, F_OK) == 0 && n < 100; ++n) std::snprintf(name, sizeof name, "%s_%d.png", stamp, n);
  std::string error;
  if (!write_png(name, kept, NOX_W, NOX_H, scale, &error)) {
    putlog(HOST_SOURCE, LOG_LINE_SCREENSHOT_FAILED, "Screenshot failed: cannot write %s: %s.", name, error.c_str());
    return -1;
  }
  putlog(HOST_SOURCE, LOG_LINE_SCREENSHOT, "Screenshot %s (%d x %d, frame %llu).", name,
         static_cast<int>(NOX_W * scale), static_cast<int>(NOX_H * scale), static_cast<unsigned long long>(frame));
  return 0;
}

void video_vsync_off() {
  if (renderer != nullptr && vsync) {
    SDL_RenderSetVSync(renderer, 0);
    vsync = 0;
  }
}

int video_vsync_on() { return vsync; }

void video_term() {
  // Destroying the renderer destroys its textures too.
  if (renderer != nullptr) SDL_DestroyRenderer(renderer);
  renderer = nullptr;
  texture = nullptr;
  mark_texture = nullptr;
  vsync = 0;
}
