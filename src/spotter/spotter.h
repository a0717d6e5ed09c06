// The spotter run over one complete set of car positions.
#pragma once

#include <cstdint>

// Runs the spotter over slots 0..carCount-1 of the player table.
void RunSpotter(int32_t carCount);
