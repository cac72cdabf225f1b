// The platform-neutral half of the window procedure: host events onto the Touch state.
#pragma once
#include <cstdint>

enum class NoxEvent : uint8_t { None, PointerDown, PointerUp, PointerMove, PointerLeave, EscapeUp, Quit };

constexpr int32_t NOX_CLIENT_W = 480;
constexpr int32_t NOX_CLIENT_H = 640;

// Applies one host event. px, py are client pixels (PointerMove only).
// Returns 1 when the event asks the program to quit, else 0.
int nox_dispatch_event(NoxEvent ev, int32_t px = 0, int32_t py = 0, int32_t client_w = NOX_CLIENT_W,
                       int32_t client_h = NOX_CLIENT_H);
