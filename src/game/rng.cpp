#include "game/rng.h"

uint32_t rng_state = 0;
