#include "nox_sdl/video.h"

#include "engine/screen.h"
#include "nox_sdl/host.h"
#include "pack/log.h"

namespace {

SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
int vsync = 0;

}  // namespace

int video_init(SDL_Window* window, int want_vsync) {
  // Sharp pixels whatever the renderer's default filter is.
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
    putlog(HOST_SOURCE, LOG_LINE_TEXTURE_FAILED, "SDL_CreateTexture failed: %s", SDL_GetError());
    video_term();
    return -1;
  }
  SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
  SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
  return 0;
}

int video_compose() {
  void* pixels = nullptr;
  int pitch = 0;
  if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) {
    putlog(HOST_SOURCE, LOG_LINE_LOCK, "SDL_LockTexture failed: %s", SDL_GetError());
    return -1;
  }
  nox_compose(pitch, pixels);
  SDL_UnlockTexture(texture);
  return 0;
}

int video_present() {
  // The texture covers the whole output: 2 x 2 window pixels per screen pixel.
  if (SDL_RenderCopy(renderer, texture, nullptr, nullptr) != 0) {
    putlog(HOST_SOURCE, LOG_LINE_COPY, "SDL_RenderCopy failed: %s", SDL_GetError());
    return -1;
  }
  SDL_RenderPresent(renderer);
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
  if (texture != nullptr) {
    SDL_DestroyTexture(texture);
    texture = nullptr;
  }
  if (renderer != nullptr) {
    SDL_DestroyRenderer(renderer);
    renderer = nullptr;
  }
  vsync = 0;
}
