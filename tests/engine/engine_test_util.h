// Small helpers shared by the engine tests.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pack/packwriter.h"

// Lines of LOG.TXT in the working directory, without their line ends.
std::vector<std::string> log_lines();

// Palette whose entry i is `base` + i.
std::array<uint32_t, 256> ramp_palette(uint32_t base);

// Raw bytes written to ROMDATA.BIN, then loaded; returns loadbin's result.
int load_raw_pack(const std::vector<uint8_t>& bytes);

// Every (x, y) of a plane that is not 0, in index order.
std::vector<std::pair<int, int>> lit_pixels(const uint8_t* plane);

// Empties both planes.
void clear_planes();
