// The title menu's own memory outside the Game state.
#pragma once

// Forgets the remembered menu touch position and hovered button, as at program start.
// Lets one process run several sessions (tests, the headless runner) from the same start.
void title_menu_reset();
