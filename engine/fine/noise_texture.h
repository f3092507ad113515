#pragma once
#include <cstdint>
#include <vector>

#include "engine/fine/noise_blocks.h"

// Texture that looks like grain: told from noise by how the finest detail grows with the
// brightness, and, under white noise, by the colour channels' quieter figures.

// The finest diagonal figures of brightness groups of the blocks, for the texture test.
struct BrightnessGroups {
    int count = 1;
    std::int64_t members[noiseBinsMax] = {};
    float brightness[noiseBinsMax] = {};  // the mean of R, G and B of the group's blocks
    float finest[noiseBinsMax][3] = {};
    bool clear[noiseBinsMax] = {};  // far enough from black and white for clipping not to quiet it
    int clearCount = 0;
};

// Groups of equal counts of the blocks ranked by brightness (order), and each block's group.
BrightnessGroups GroupBlocks(const std::vector<BlockFigures>& blocks, const std::vector<int>& order,
                             std::vector<int>& groupOf);

// The groups' figures from their histograms (three channels each, one group after another).
void MeasureGroups(const std::uint32_t* counts, BrightnessGroups& groups);

// The share of texture in the figures, 0 ... 1: none where the brighter groups' finest detail is no
// louder than the darker ones', all where it is clearly louder.
double TextureShare(const BrightnessGroups& groups);

// A band's gain over the finest detail (see BandGains) taken part of the way back to white noise's
// by the share of texture.
double TexturedGain(double gain, double texture);

// The noise beneath texture that grows with the brightness, from the clear groups' figures of a
// channel, or infinity where the groups do not follow texture of that kind.
double NoiseBeneathTexture(const BrightnessGroups& groups, int c);

// Where the figures read texture, a bin's figure is held towards the quietest of the clear groups
// no brighter than the bin (noise grows no louder with the brightness), or the noise beneath the
// texture (beneath, one figure for the whole picture) where that is quieter, by the share of texture.
float HeldAnchor(float anchor, int c, float binBrightness, const BrightnessGroups& groups, double texture,
                 double beneath);

// Where the colour channels' noise looks white, their louder figure bounds the brightness's, which
// fine achromatic texture alone raises.
void BoundBrightnessByColour(const float (&autocovariance)[3][noiseSide][noiseSide], float (&band)[3][noiseLevels][3]);
