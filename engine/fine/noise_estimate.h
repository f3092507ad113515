#pragma once
#include <cstdint>

#include "engine/parallel_for.h"

// The noise a picture carries, measured on the picture itself, blind, for each opponent channel
// (brightness, red-blue, green-magenta) in 8-bit units: white noise of deviation s in R, G and B
// measures s everywhere.
//
// A camera's noise is not white: demosaicing and JPEG spread it over neighbouring pixels and
// channels, so most of it lies in the coarser wavelet levels (colour blotches), and it is stronger
// in the shadows. The record therefore holds the noise per brightness, wavelet level and
// orientation:
// - The picture's 16 x 16 blocks are put into brightness bins of equal counts.
// - In each bin, the flattest tenth of the blocks (the least detail at the finest scales, every
//   channel) gives the noise's spatial autocovariance up to noiseReach pixels: from the mean
//   squared differences at each lag, and the variance from second differences at a lag beyond the
//   reach, which cancel smooth shading. The variance of every band of the undecimated Haar
//   transform follows from it.
// - What that shape says is applied to a robust figure: the median magnitude of the finest
//   diagonal detail in the bin, over 0.6745 (the white-noise estimate of Donoho and Johnstone,
//   1994, hardly moved by edges). A band is taken as louder than that only where all three
//   channels agree it is by a clear margin, so white noise and textures that merely look like grain
//   keep one figure per channel; and by as much as the median bin says (the shape is the
//   camera's, much the same at every brightness; texture in one bin or clipping in another moves
//   only that bin's). A colour channel the camera smoothed beyond the autocovariance's reach reads
//   its coarse levels too low to agree; it keeps agreeing where it found a finer level louder.
// - Where the colour channels' finest detail is clearly quieter than the brightness's, the camera
//   kept colour at a lower resolution or quantised it more coarsely (JPEG, its own colour
//   smoothing) and left the colour noise in blotches of 8 to 16 pixels, beyond the
//   autocovariance's reach. Then the colour channels' bands are measured directly, over windows of
//   32 x 32 round the blocks flattest in brightness, up to 1.5 times the brightness's band of the
//   same level and orientation (a sensor's colour matrix makes colour noise the louder).
// - A camera's strong noise reduction smooths the brightness's noise over more pixels than the
//   autocovariance reaches, and its coarse bands then read low. Where the picture bears its mark
//   (the brightness's coarse bands several times its finest, the colour's finest detail quieter
//   than the brightness's, but by less than JPEG alone makes it), those bands are raised by what
//   they lack on a model of it.
//
// - Natural texture's detail grows with the brightness (a pattern of reflectances under the light),
//   a camera's noise does not (through its tone curve it grows no louder from shadows to
//   highlights). Where the brighter blocks' finest detail is clearly louder than the darker ones',
//   the figures read fine texture rather than noise: each bin's figure is held towards those of the
//   darker parts, and the band shape goes part of the way back to white noise's.
//
// Everything comes from whole-number sums and counts over the 8-bit samples, added in a fixed
// order, ties broken by position: the same figures for any number of threads and in every build.
// A picture too small for one block measures only the finest diagonal detail, as white noise.

constexpr int noiseLevels = 5;   // the wavelet levels measured: the four shrunk and their parents'
constexpr int noiseBinsMax = 8;  // brightness bins
constexpr int noiseReach = 2;    // the autocovariance's lags: |dx|, |dy| <= noiseReach
constexpr int noiseSide = 2 * noiseReach + 1;
constexpr int levelSteps = 64;  // the blocks' levels in R, G and B, in steps of 4
// The pairs of channels whose noise's covariance is measured: brightness and red-blue, brightness
// and green-magenta, red-blue and green-magenta.
constexpr int noisePairFirst[3] = {0, 0, 1};
constexpr int noisePairSecond[3] = {1, 2, 2};

struct NoiseLevels {
    // One figure per channel, for reports: the finest diagonal detail's over the whole picture.
    float sigma[3] = {0, 0, 0};
    int bins = 1;
    // Each bin's brightness, the mean of R, G and B (0 ... 255) of its blocks, ascending; between
    // two bins the figures are interpolated, beyond the ends they stay.
    float brightness[noiseBinsMax] = {};
    // The noise's standard deviation per bin, channel, level and orientation: 0 varies down the
    // columns, 1 along the rows, 2 diagonally (the order of the fine method's detail bands).
    float band[noiseBinsMax][3][noiseLevels][3] = {};
    // The noise's autocovariance per bin and channel, R(dy, dx) at [dy + noiseReach][dx + noiseReach]:
    // the variance of any small linear filter of the noise follows from it (zero beyond the reach).
    float autocovariance[noiseBinsMax][3][noiseSide][noiseSide] = {};
    // The covariance of the channels' noise per bin and pair of channels (noisePairFirst and
    // noisePairSecond), likewise: the symmetric part
    // (R(h) + R(-h)) / 2, all a filter's output in one channel and the same filter's in the other
    // see. A sensor's colour matrix, white balance and the camera's colour processing correlate the
    // channels' noise; white noise in R, G and B leaves them uncorrelated.
    float crossCovariance[noiseBinsMax][3][noiseSide][noiseSide] = {};
    // Per bin, the share of its blocks whose mean R (G, B) lies in each step of 4 levels: how much of
    // the bin lies near black or white, where clipping makes its noise read low. All zero when
    // unknown (the bin is then taken as grey at its brightness).
    float levelShare[noiseBinsMax][3][levelSteps] = {};
};

NoiseLevels EstimateNoise(std::int32_t width, std::int32_t height, const std::uint8_t* const* rows, WorkerTeam& team);

// The standard deviation of a band at a brightness (0 ... 255).
float BandSigma(const NoiseLevels& noise, int channel, int level, int orientation, float brightness);

// The correlation of two channels' noise (pair as in crossCovariance) in a band of a bin, -1 ... 1,
// from the measured autocovariances and cross-covariance; 0 where a channel measured no noise.
float BandCorrelation(const NoiseLevels& noise, int bin, int pair, int level, int orientation);

// White noise of the given deviation per channel, the same in every band and brightness.
NoiseLevels WhiteNoise(const float (&sigma)[3]);
