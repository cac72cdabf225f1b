// Formatted text from character bank 0: 4 x 8 small font and 8 x 8 large font.
#pragma once
#include <cstdint>

// bg non-zero: opaque onto the BG plane; 0: transparent onto the SP plane.
// At most 63 characters are drawn; a longer text is cut.
void print_small(int32_t bg, int32_t x, int32_t y, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;
void print_large(int32_t bg, int32_t x, int32_t y, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;
