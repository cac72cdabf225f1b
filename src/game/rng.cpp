#include "game/rng.h"

PER_THREAD uint32_t rng_state = 0;
