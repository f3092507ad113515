#include "engine/fine/block_matching.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>

#include "engine/fine/eight_floats.h"
#include "engine/fine/large_patch_transform.h"
#include "engine/fine/patch_transform.h"
#include "engine/wide_loops.h"

namespace {

constexpr int lanes = 8;

// The distances of the reference patch to the patches that start at candidates[0 ... 8 chunks - 1],
// eight lanes a chunk: each lane adds each row's terms along the row, then the rows' sums from the
// top. The chunks and two rows at a time (all three of a small patch) share each reference sample's
// splat, and their sums grow side by side instead of each waiting on its last addition.
template <int side, int chunks>
QV_LOOP_BODY void LaneDistances(const float* reference, const float* candidates, int stride,
                                EightFloats (&total)[chunks])
{
    constexpr int rowsAtOnce = side % 2 == 0 ? 2 : side;
    static_assert(side % rowsAtOnce == 0);
    EightFloats rowSum[side][chunks];
    for (int i = 0; i < side; i += rowsAtOnce) {
        const float* row = candidates + static_cast<long>(i) * stride;
        const float* r = reference + i * side;
#pragma GCC unroll 12
        for (int j = 0; j < side; ++j)
#pragma GCC unroll 3
            for (int q = 0; q < rowsAtOnce; ++q) {
                const EightFloats splat = SplatEight(r[q * side + j]);
#pragma GCC unroll 4
                for (int c = 0; c < chunks; ++c) {
                    const EightFloats e = splat - LoadEight(row + q * stride + c * lanes + j);
                    rowSum[i + q][c] = j == 0 ? e * e : rowSum[i + q][c] + e * e;
                }
            }
    }
    for (int c = 0; c < chunks; ++c) {
        total[c] = rowSum[0][c];
        for (int i = 1; i < side; ++i) total[c] = total[c] + rowSum[i][c];
    }
}

using EightInts = int __attribute__((vector_size(32)));

QV_LOOP_BODY EightFloats Smaller(EightFloats a, EightFloats b)
{
    const EightInts less = a < b;
    return (EightFloats)(((EightInts)a & less) | ((EightInts)b & ~less));
}

// The least of the eight.
QV_LOOP_BODY float Least(EightFloats v)
{
    v = Smaller(v, __builtin_shufflevector(v, v, 4, 5, 6, 7, 0, 1, 2, 3));
    v = Smaller(v, __builtin_shufflevector(v, v, 2, 3, 0, 1, 6, 7, 4, 5));
    v = Smaller(v, __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6));
    return v[0];
}

// The distances of the candidates of one window row that start at candidates[0 ... 8 chunks - 1] to
// row, and the least of each eight of them at least; each plane of perPatch adds the square of the
// difference between its value at the candidate and the reference's (in perPatchReference).
template <int side, int chunks>
QV_LOOP_BODY void RowDistances(const float* reference, const float* candidates, int stride,
                               const MatchPlanes& planes, int candidatesAt, const float (&perPatchReference)[2],
                               float* row, float*& least)
{
    EightFloats d[chunks];
    LaneDistances<side, chunks>(reference, candidates, stride, d);
    for (int k = 0; k < 2 && planes.perPatch[k] != nullptr; ++k) {
        const EightFloats splat = SplatEight(perPatchReference[k]);
        for (int c = 0; c < chunks; ++c) {
            const EightFloats e = splat - LoadEight(planes.perPatch[k] + candidatesAt + c * lanes);
            d[c] = d[c] + e * e;
        }
    }
    for (int c = 0; c < chunks; ++c) {
        StoreEight(row + c * lanes, d[c]);
        *least++ = Least(d[c]);
    }
}

// The distances of every candidate of the window, its rows pitch floats apart in distances, and
// the least of each eight of them in least.
template <int side>
QV_LOOP_BODY void WindowDistancesBody(const MatchPlanes* planes, int stride, int referenceAt,
                                      const SearchWindow* window, int pitch, float* distances, float* least)
{
    static_assert(widestSearch <= 4 * lanes);
    const float* plane = planes->samples;
    float reference[side * side];
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j) reference[i * side + j] = plane[referenceAt + i * stride + j];
    float perPatch[2] = {};
    for (int k = 0; k < 2 && planes->perPatch[k] != nullptr; ++k)
        perPatch[k] = planes->perPatch[k][referenceAt];
    const int chunks = (window->right - window->left) / lanes + 1;
    for (int y = window->top; y <= window->bottom; ++y) {
        float* row = distances + (y - window->top) * pitch;
        const int at = y * stride + window->left;
        const float* candidates = plane + at;
        switch (chunks) {
            case 1: RowDistances<side, 1>(reference, candidates, stride, *planes, at, perPatch, row, least); break;
            case 2: RowDistances<side, 2>(reference, candidates, stride, *planes, at, perPatch, row, least); break;
            case 3: RowDistances<side, 3>(reference, candidates, stride, *planes, at, perPatch, row, least); break;
            default: RowDistances<side, 4>(reference, candidates, stride, *planes, at, perPatch, row, least); break;
        }
    }
}
#define QV_WINDOW_DISTANCES(side)                                                                                 \
    QV_LOOP_BODY void WindowDistances##side##Body(const MatchPlanes* planes, int stride, int referenceAt,         \
                                                  const SearchWindow* window, int pitch, float* distances,        \
                                                  float* least)                                                   \
    {                                                                                                             \
        WindowDistancesBody<side>(planes, stride, referenceAt, window, pitch, distances, least);                  \
    }                                                                                                             \
    QV_WIDE_LOOP(WindowDistances##side,                                                                           \
                 (const MatchPlanes* planes, int stride, int referenceAt, const SearchWindow* window, int pitch,  \
                  float* distances, float* least),                                                                \
                 (planes, stride, referenceAt, window, pitch, distances, least))
QV_WINDOW_DISTANCES(3)
QV_WINDOW_DISTANCES(8)
QV_WINDOW_DISTANCES(12)
#undef QV_WINDOW_DISTANCES

// A candidate as one number that orders as the candidates do: its distance's bits above its
// offset, held exactly in a double. Distances are sums of squares, never negative, and the bits of
// such floats order as their values; among equal distances the smaller offset, the patch first in
// the plane, comes first. Doubles because every vector unit takes their least and greatest in one
// instruction, and 31 bits of distance and 22 of offset fit their 53.
constexpr double offsetScale = matchableOffsets;

QV_LOOP_BODY double KeyOf(float distance, int offset)
{
    return static_cast<double>(std::bit_cast<std::uint32_t>(distance)) * offsetScale + static_cast<double>(offset);
}

// The distance's bits, the key's whole part above the offset (exact: the scale is a power of two).
QV_LOOP_BODY std::int32_t DistanceBitsOf(double key)
{
    return static_cast<std::int32_t>(key / offsetScale);
}

QV_LOOP_BODY int OffsetOf(double key)
{
    return static_cast<int>(key - static_cast<double>(DistanceBitsOf(key)) * offsetScale);
}

// Slots in a vector of two keys (SSE2) or four (AVX2 and AVX-512, where the wider vectors take
// half the steps per candidate; the baseline would split them in two and lose 13 %).
using TwoKeys = double __attribute__((vector_size(16)));
using FourKeys = double __attribute__((vector_size(32)));
constexpr int keySlots = mostMatches;
static_assert(keySlots % 4 == 0);
// A slot no candidate has taken yet: above every key.
constexpr double emptySlot = std::numeric_limits<double>::infinity();

// The best candidates so far but the reference, in increasing order, in the last wanted - 1 of
// keySlots slots; the slots before them hold 0, below every key, so the worst candidate kept is
// always the last slot. A candidate goes in without a branch: each slot becomes its left
// neighbour, the candidate or itself, whichever lies between, which keeps the order whatever the
// candidate (one no better than the last leaves every slot as it was).
template <class Keys>
struct Best {
    static constexpr int width = sizeof(Keys) / sizeof(double);
    Keys key[keySlots / width];

    QV_LOOP_BODY double Slot(int slot) const { return key[slot / width][slot % width]; }

    QV_LOOP_BODY void Start(int kept)
    {
        for (int slot = 0; slot < keySlots; ++slot)
            key[slot / width][slot % width] = slot < keySlots - kept ? 0.0 : emptySlot;
    }

    QV_LOOP_BODY double Worst() const { return Slot(keySlots - 1); }

    QV_LOOP_BODY void Consider(double candidate)
    {
        Keys c, left;
        for (int i = 0; i < width; ++i) {
            c[i] = candidate;
            left[i] = 0.0;
        }
        for (Keys& k : key) {
            Keys shifted;
            if constexpr (width == 2)
                shifted = __builtin_shufflevector(left, k, 1, 2);
            else
                shifted = __builtin_shufflevector(left, k, 3, 4, 5, 6);
            left = k;
            const Keys lower = c < k ? c : k;
            k = shifted > lower ? shifted : lower;
        }
    }
};

// Fills found as MatchPatches does from the window's distances (rows pitch floats apart) and the
// least of each eight of them.
template <class Keys>
QV_LOOP_BODY void PickBestBody(const float* distances, const float* least, int stride, int referenceX,
                              int referenceY, const SearchWindow* window, int pitch, int wanted, int* found,
                              int* matched)
{
    const int referenceAt = referenceY * stride + referenceX;
    Best<Keys> best;
    best.Start(wanted - 1);  // the reference itself comes first
    // Rows nearest the reference first: alike patches tend to lie near it, and once the group is
    // full of them most of the rest go unread, eight at a time.
    const int width = window->right - window->left + 1, chunks = (width - 1) / lanes + 1;
    const int height = window->bottom - window->top + 1, start = referenceY - window->top;
    for (int turn = 0; turn < 2 * height - 1; ++turn) {
        const int row = turn % 2 == 1 ? start - (turn + 1) / 2 : start + turn / 2;
        if (row < 0 || row >= height) continue;
        const float* rowDistances = distances + row * pitch;
        const int rowAt = (window->top + row) * stride + window->left;
        for (int chunk = 0; chunk < chunks; ++chunk) {
            const int first = chunk * lanes, end = std::min(first + lanes, width);
            // Once the group is full only candidates no farther than its last can enter: they are
            // picked out of the chunk without a branch, and the rest are not looked at again.
            unsigned passing = (1u << (end - first)) - 1;
            const double worst = best.Worst();
            if (worst != emptySlot) {
                if (KeyOf(least[row * chunks + chunk], 0) > worst) continue;
                const float bound = std::bit_cast<float>(DistanceBitsOf(worst));
                passing = 0;
                for (int x = first; x < end; ++x) passing |= unsigned{rowDistances[x] <= bound} << (x - first);
            }
            for (; passing != 0; passing &= passing - 1) {
                const int x = first + std::countr_zero(passing);
                if (rowAt + x != referenceAt) best.Consider(KeyOf(rowDistances[x], rowAt + x));
            }
        }
    }
    found[0] = referenceAt;
    int count = 1;
    for (int slot = keySlots - (wanted - 1); slot < keySlots; ++slot) {
        const double key = best.Slot(slot);
        if (key != emptySlot) found[count++] = OffsetOf(key);
    }
    *matched = count;
}
#define QV_PICK_BEST(name, target, keys)                                                                      \
    target void name(const float* distances, const float* least, int stride, int referenceX, int referenceY,  \
                     const SearchWindow* window, int pitch, int wanted, int* found, int* matched)               \
    {                                                                                                          \
        PickBestBody<keys>(distances, least, stride, referenceX, referenceY, window, pitch, wanted, found,     \
                           matched);                                                                           \
    }
QV_PICK_BEST(PickBestAvx512, QV_AVX512_TARGET, FourKeys)
QV_PICK_BEST(PickBestAvx2, QV_AVX2_TARGET, FourKeys)
QV_PICK_BEST(PickBestBaseline, , TwoKeys)
#undef QV_PICK_BEST
QV_WIDE_DISPATCH(PickBest,
                 (const float* distances, const float* least, int stride, int referenceX, int referenceY,
                  const SearchWindow* window, int pitch, int wanted, int* found, int* matched),
                 (distances, least, stride, referenceX, referenceY, window, pitch, wanted, found, matched))

}  // namespace

int MatchPatches(const MatchPlanes& planes, int stride, int side, int referenceX, int referenceY,
                 const SearchWindow& window, int wanted, int* found)
{
    const int referenceAt = referenceY * stride + referenceX;
    const int pitch = (window.right - window.left) / lanes * lanes + lanes;
    float distances[widestSearch * (widestSearch - 1 + lanes)];
    float least[widestSearch * (widestSearch - 1 + lanes) / lanes];
    if (side == largePatchSide)
        WindowDistances12(&planes, stride, referenceAt, &window, pitch, distances, least);
    else if (side == patchSide)
        WindowDistances8(&planes, stride, referenceAt, &window, pitch, distances, least);
    else
        WindowDistances3(&planes, stride, referenceAt, &window, pitch, distances, least);
    int matched = 0;
    PickBest(distances, least, stride, referenceX, referenceY, &window, pitch, wanted, found, &matched);
    return matched;
}
