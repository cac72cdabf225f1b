// The X connection under the game's window. Xlib's own answer to trouble there is to print
// several lines and end the program on the spot: when another program destroys the window
// (SDL's next request on it fails) and when the connection to the X server breaks (the server
// ended, or the client was killed). The watch turns the first into something the frame loop
// sees and ends the game on as on a close, and the second into a call of the host's own last
// words. Nothing happens on a display that is not X11.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

enum class DisplayTrouble : uint8_t { Clear, WindowDestroyed, Error };

// Starts watching `window`'s connection. `lost` is called (on the thread that noticed, inside
// Xlib) when the connection breaks, with the display's name; it must end the process, as Xlib
// cannot go on after it.
void x11_watch_start(SDL_Window* window, void (*lost)(const char* display_name));

// What went wrong since the start: the window was destroyed, or the X server refused another
// request (*why then points to what it said).
DisplayTrouble x11_watch_trouble(const char** why);

// Takes the answers to the requests still on their way (so the failures of the shut-down's own
// requests on a destroyed window reach the watch, not Xlib's default handler, which SDL puts
// back when it closes the display) and stops watching. Call after the window is destroyed and
// before SDL_Quit.
void x11_watch_stop();
