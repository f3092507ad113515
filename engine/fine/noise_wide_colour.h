#pragma once
#include <cstdint>
#include <vector>

#include "engine/fine/noise_blocks.h"
#include "engine/parallel_for.h"

// Where the colour channels' finest detail is much quieter than the brightness's and their noise
// smooth, the camera smoothed the colour and left its noise in blotches beyond the
// autocovariance's reach: the colour channels' bands are raised to what the wide windows round the
// bin's flattest blocks measure, up to colourLouder times the brightness's band (the cap keeps
// colour texture in those windows from counting as noise). The flattest blocks are chosen by
// their brightness alone: the colour channels' finest detail is where their blotches meet, so
// choosing by it would keep the blocks whose blotches happen to be alike.
void WidenColour(std::int32_t width, std::int32_t height, const std::uint8_t* const* rows, const BlockGrid& grid,
                 const std::vector<double>& detail, std::vector<int> members, WorkerTeam& team,
                 const float (&autocovariance)[3][noiseSide][noiseSide], float (&band)[3][noiseLevels][3]);
