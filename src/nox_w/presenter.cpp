// The Direct3D 9 presenter. The game's picture is composed into a lockable surface of exactly
// its size and then doubled onto a 480 x 640 back buffer with point filtering, so every virtual
// pixel is a sharp 2 x 2 block on any driver (letting Present stretch a small back buffer
// blurs it).
#include "nox_w/presenter.h"

#include <d3d9.h>

#include "game/core.h"
#include "nox_w/log_lines.h"
#include "pack/log.h"

namespace {

IDirect3D9* d3d_object = nullptr;
IDirect3DDevice9* d3d_device = nullptr;
IDirect3DSurface9* d3d_back_buffer = nullptr;
IDirect3DSurface9* d3d_screen = nullptr;  // NOX_W x NOX_H, the composition target

}  // namespace

void presenter_close() {
  win_release(d3d_screen);
  win_release(d3d_back_buffer);
  win_release(d3d_device);
  win_release(d3d_object);
}

int presenter_open(HWND window, Status* why) {
  d3d_object = Direct3DCreate9(D3D_SDK_VERSION);
  if (d3d_object == nullptr) {
    const int error = static_cast<int>(GetLastError());
    putlog(WIN_SOURCE, LINE_D3D_CREATE, "Direct3DCreate9 failed: %d", error);
    return status_fail(why, -1, "Direct3DCreate9 failed: %d", error);
  }
  D3DPRESENT_PARAMETERS params{};
  params.BackBufferWidth = NOX_W * 2;
  params.BackBufferHeight = NOX_H * 2;
  // The composition writes 32-bit pixels, so the back buffer is 32-bit whatever the desktop is.
  params.BackBufferFormat = D3DFMT_X8R8G8B8;
  params.BackBufferCount = 1;
  params.MultiSampleType = D3DMULTISAMPLE_NONE;
  params.SwapEffect = D3DSWAPEFFECT_DISCARD;
  params.Windowed = TRUE;
  params.EnableAutoDepthStencil = TRUE;
  params.AutoDepthStencilFormat = D3DFMT_D16;
  params.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;

  // A failed call after the first: logged, told, and everything made released.
  const auto fail = [why](int line, const char* call, HRESULT hr) {
    presenter_close();
    return win_failed(why, line, call, hr);
  };
  HRESULT hr = d3d_object->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                        D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &d3d_device);
  if (FAILED(hr)) return fail(LOG_LINE_RENDERER_FAILED, "CreateDevice(HAL+SWV)", hr);
  putlog(WIN_SOURCE, LOG_LINE_RENDERER, "Using: HAL+SWV");
  hr = d3d_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &d3d_back_buffer);
  if (FAILED(hr)) return fail(LOG_LINE_PICTURE_BUFFER_FAILED, "GetBackBuffer", hr);
  // A lockable render target: the one kind of source every driver can stretch from.
  hr = d3d_device->CreateRenderTarget(NOX_W, NOX_H, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &d3d_screen,
                                      nullptr);
  if (FAILED(hr)) return fail(LINE_CREATE_SCREEN, "CreateRenderTarget", hr);
  return 0;
}

int presenter_show() {
  HRESULT hr = d3d_device->BeginScene();
  if (FAILED(hr)) return win_failed(nullptr, LINE_BEGIN_SCENE, "BeginScene", hr);
  D3DLOCKED_RECT locked{};
  // Plain lock: the discard flag is documented for dynamic resources only, and the surface's
  // memory copy stays current anyway, since nothing but this lock ever writes to it.
  hr = d3d_screen->LockRect(&locked, nullptr, 0);  // the whole surface, which is the screen
  if (FAILED(hr)) return win_failed(nullptr, LOG_LINE_LOCK, "LockRect", hr);
  game_compose(locked.Pitch, locked.pBits);
  hr = d3d_screen->UnlockRect();
  if (FAILED(hr)) return win_failed(nullptr, LINE_UNLOCK_RECT, "UnlockRect", hr);
  hr = d3d_device->StretchRect(d3d_screen, nullptr, d3d_back_buffer, nullptr, D3DTEXF_POINT);
  if (FAILED(hr)) return win_failed(nullptr, LINE_STRETCH_RECT, "StretchRect", hr);
  hr = d3d_device->EndScene();
  if (FAILED(hr)) return win_failed(nullptr, LINE_END_SCENE, "EndScene", hr);
  hr = d3d_device->Present(nullptr, nullptr, nullptr, nullptr);
  if (FAILED(hr)) return win_failed(nullptr, LINE_PRESENT, "Present", hr);
  return 0;
}
