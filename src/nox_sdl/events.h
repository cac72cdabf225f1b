// SDL's pointer, key and window events translated for the host's event queue.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

#include "host/event_queue.h"

// Translates one SDL event and queues it; events the game has no use for are ignored.
// client_w and client_h bound pointer positions to the client area.
void events_push_sdl(HostEventQueue* q, const SDL_Event& e, int32_t client_w, int32_t client_h);
