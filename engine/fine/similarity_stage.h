#pragma once
#include <cstddef>

#include "engine/fine/group_bayes.h"
#include "engine/fine/large_patch_transform.h"
#include "engine/fine/patch_noise.h"
#include "engine/fine/patch_transform.h"

// The adaptive method's second stage: block-matching 3-D filtering of the picture with the
// wavelet result as its pilot. Patches of 8 x 8 matched on brightness are grouped with their most
// alike neighbours and the three opponent channels filtered together in each group, twice: first
// by hard thresholding of the noisy picture's groups (a second, independent estimate), then by an
// empirical Wiener filter whose weights come from a weighted mean of that estimate and the wavelet
// result.
// Where the noise is strong or white the first pass takes patches of 12 x 12 instead: under strong
// noise 8 x 8 patches neither match reliably nor hold a sparse enough transform.
// Under white noise a third step follows: the Bayesian estimate of 3 x 3 colour patches, grouped on
// the Wiener result's brightness, with that result as their pilot.
// The passes take their references on a grid anchored at the picture's corner and their
// candidates only inside the picture, and every pixel's sums run in the references' order, so a
// tile gives what the whole picture gives wherever its margin holds every group that reaches it.

// How far the candidates of a reference lie from it, in each direction.
constexpr int searchReach = 8;
// How far a pass's result depends on its input, in each direction: a group reaches searchReach and
// a patch beyond its reference, and the references that reach a pixel lie as far again.
constexpr int passReach = 2 * searchReach + patchSide - 1;
// The first pass with large patches: from this figure of the brightness's finest detail on, at the
// brightness where it is loudest (as measured, times the strength's scale): near black and white the
// noise is clipped and reads low, and the whole picture's figure reads high on fine texture, where
// the loudest brightness bin does not (white noise of σ 25 reads up to about 28 there, of σ 35 27 to
// 38, mostly above 30); its candidates as far as this (8 gains 0.03 to 0.05 dB less at σ 50), and so its reach.
constexpr float largePatchesFrom = 29.0f;
constexpr int largeSearchReach = 12;
constexpr int largePassReach = 2 * largeSearchReach + largePatchSide - 1;

// Which passes run under the measured noise, which sets how wide the stage's margins are.
// The first pass takes large patches under noise white in space at any strength (they gain there
// from σ 5 on, where repetition larger than 8 pixels is found and the Wiener pass's sparser
// references pay for their time), otherwise from that figure on. Camera noise, whose finest detail
// the demosaicing smooths, does not reach the figure at any level the proxy models; below it its
// coarse noise, louder than white, left in a large patch's low frequencies loses on smooth pictures.
// The Bayes step on small colour patches follows the Wiener pass under white noise with all three
// channels noisy: with it (and the sparser grids it lets the passes before it take) the stage gains
// 0.10 to 0.17 dB there. Camera noise, correlated between neighbours, is left to the two passes.
struct StagePlan {
    bool largePatches = false;
    bool bayesStep = false;
};
StagePlan StagePlanFor(const PatchNoise& noise);

// How far the Bayes step's candidates lie from their reference: its small patches find their best
// company further out than the Wiener pass's (12 against 8 gains 0.01 to 0.03 dB), and so its reach,
// how far its result depends on the Wiener pass's result and the noisy picture.
constexpr int bayesSearchReach = 12;
constexpr int bayesReach = 2 * bayesSearchReach + bayesSide - 1;

// Around the part a tile keeps, the pilot and the noisy picture must be known as far as the passes
// reach one after the other: the Bayes step's, the Wiener pass's and the first pass's.
constexpr int SimilarityMargin(const StagePlan& plan)
{
    return (plan.bayesStep ? bayesReach : 0) + passReach + (plan.largePatches ? largePassReach : passReach);
}

// A rectangle of the picture, in its coordinates.
struct PictureRect {
    int left = 0, top = 0, width = 0, height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
};

// The planes of one tile, all the frame's size, rows stride floats apart: the frame is the kept
// part (core) with its SimilarityMargin around it, cut where the picture ends.
struct SimilarityPlanes {
    StagePlan plan;
    PictureRect picture;  // the whole picture: width and height
    PictureRect frame;
    PictureRect core;
    int stride = 0;
    float* noisy[3];  // the noisy picture's channels over the whole frame
    float* pilot[3];  // the wavelet result over the whole frame
    float* sum[3];    // scratch for the weighted sums of the passes
    float* weight[3];
    float* dc[3];     // scratch for the first pass's coefficients 0 of the pilot's patches
};

// The floats a frame of that size takes for each of its planes (with the padding the block
// matching reads).
std::size_t SimilarityPlaneFloats(int frameWidth, int frameHeight);

// The frame around a core: SimilarityMargin wide, cut at the picture's edges.
PictureRect SimilarityFrame(const PictureRect& picture, const PictureRect& core, const StagePlan& plan);

// Writes the core's three denoised channels to out[channel] (core.width floats a row, row after
// row). Overwrites the pilot and the scratch planes; reads the noisy planes. out may be the dc
// planes, which the passes are done with by then.
void SimilarityDenoise(const SimilarityPlanes& planes, const PatchNoise& noise, float* const* out);
