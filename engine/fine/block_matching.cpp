#include "engine/fine/block_matching.h"

#include <algorithm>
#include <bit>
#include <cstdint>

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
// offset. Distances are sums of squares, never negative, and the bits of such floats order as their
// values; among equal distances the smaller offset, the patch first in the plane, comes first.
std::uint64_t KeyOf(float distance, int offset)
{
    return static_cast<std::uint64_t>(std::bit_cast<std::uint32_t>(distance)) << 32 |
           static_cast<std::uint32_t>(offset);
}

// The best matches so far but the reference, most alike first, whatever order they come in.
struct Best {
    std::uint64_t key[mostMatches];
    int count = 0;
    int wanted = 0;

    bool Full() const { return count == wanted; }

    void Consider(std::uint64_t candidate)
    {
        if (Full() && candidate >= key[count - 1]) return;
        int slot = Full() ? count - 1 : count++;
        for (; slot > 0 && candidate < key[slot - 1]; --slot) key[slot] = key[slot - 1];
        key[slot] = candidate;
    }
};

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
    Best best;
    best.wanted = wanted - 1;  // the reference itself comes first
    // Rows nearest the reference first: alike patches tend to lie near it, and once the group is
    // full of them most of the rest go unread, eight at a time.
    const int width = window.right - window.left + 1, chunks = (width - 1) / lanes + 1;
    const int height = window.bottom - window.top + 1, start = referenceY - window.top;
    const auto scanRow = [&](int row) {
        const float* rowDistances = distances + row * pitch;
        const int rowAt = (window.top + row) * stride + window.left;
        for (int chunk = 0; chunk < chunks; ++chunk) {
            const int first = chunk * lanes, end = std::min(first + lanes, width);
            // Once the group is full only candidates no farther than its last can enter: they are
            // picked out of the chunk without a branch, and the rest are not looked at again.
            unsigned passing = (1u << (end - first)) - 1;
            if (best.Full()) {
                if (KeyOf(least[row * chunks + chunk], 0) > best.key[best.count - 1]) continue;
                const float bound = std::bit_cast<float>(static_cast<std::uint32_t>(best.key[best.count - 1] >> 32));
                passing = 0;
                for (int x = first; x < end; ++x) passing |= unsigned{rowDistances[x] <= bound} << (x - first);
            }
            for (; passing != 0; passing &= passing - 1) {
                const int x = first + std::countr_zero(passing);
                if (rowAt + x != referenceAt) best.Consider(KeyOf(rowDistances[x], rowAt + x));
            }
        }
    };
    for (int away = 0; away < height; ++away) {
        if (start - away >= 0) scanRow(start - away);
        if (away > 0 && start + away < height) scanRow(start + away);
    }
    found[0] = referenceAt;
    for (int k = 0; k < best.count; ++k) found[k + 1] = static_cast<int>(best.key[k] & 0xffffffffu);
    return best.count + 1;
}
