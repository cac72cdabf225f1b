// What a player sees on a plane, named from the art's own table of pictures and the fonts'
// character layout, never from the game's drawing code.
#pragma once
#include <cstdint>
#include <string>

// Marks the picture banks so that every named picture and glyph starts with a pixel value of its
// own and every other bank pixel has a value no picture starts with (none is transparent).
void mark_pictures();

// What `plane` shows after mark_pictures(): every named picture drawn whole, or covered only by
// others found ("paddle at 60,272"); runs of glyphs of one font and row read back as text, a
// missing glyph a space ("text \"70PTS\" (small) at 58,142"); whatever is left as same-colour
// lines ("line colour 8 from 100,24 to 100,319") and dots ("dot colour 50 at 10,12"). The items
// come sorted and joined by "; ".
std::string seen_on(const uint8_t* plane);

// A description written by hand with its items in the order seen_on() gives them.
std::string in_order(const std::string& description);
