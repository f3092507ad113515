#pragma once

// Block matching: the patches of a plane most like a reference patch, for the self-similarity
// stage's groups. The distance is the sum of squared differences over the side x side samples (3,
// 8 or 12), added in a fixed order; among equal distances the patch that comes first in the plane
// (row, then column) wins, so a group never depends on the order in which anyone looked.

// The widest and highest window a search takes, in candidates.
constexpr int widestSearch = 25;
// The most patches a search returns.
constexpr int mostMatches = 20;
// Offsets in the planes matched must stay below this (a plane of 2048 x 2048 samples): the search
// orders candidates by keys that hold their distance and offset together.
constexpr int matchableOffsets = 1 << 22;

// Top-left corners a search may pick, inclusive, in the plane's coordinates.
struct SearchWindow {
    int left, top, right, bottom;
};

// What patches are matched on: the samples of one plane, and where perPatch holds planes, one
// value more per patch (at its top-left sample's place) in each, whose squared difference adds to
// the distance.
struct MatchPlanes {
    const float* samples = nullptr;
    const float* perPatch[2] = {nullptr, nullptr};
};

// Fills found[0 ... n - 1] with the offsets (y * stride + x) of the n patches of that side (3,
// patchSide or largePatchSide) most like the one at (referenceX, referenceY), most alike first,
// and returns n (1 ... wanted); the window is at most widestSearch wide and high, and wanted at
// most mostMatches. The reference itself always comes first. The planes must be readable seven
// columns beyond the window's right edge plus the patch (the last lanes are computed and dropped).
int MatchPatches(const MatchPlanes& planes, int stride, int side, int referenceX, int referenceY,
                 const SearchWindow& window, int wanted, int* found);
