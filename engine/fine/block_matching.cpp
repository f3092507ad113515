#include "engine/fine/block_matching.h"

#include "engine/fine/eight_floats.h"
#include "engine/fine/large_patch_transform.h"
#include "engine/fine/patch_transform.h"
#include "engine/wide_loops.h"

namespace {

constexpr int lanes = 8;

// The distances of the reference patch to the eight patches that start at candidates[0 ... 7]:
// each lane adds each row's terms along the row, then the rows' sums from the top.
template <int side>
QV_LOOP_BODY EightFloats LaneDistances(const float* reference, const float* candidates, int stride)
{
    EightFloats rowSum[side];
    for (int i = 0; i < side; ++i) {
        const float* row = candidates + static_cast<long>(i) * stride;
        const float* r = reference + i * side;
        EightFloats e = SplatEight(r[0]) - LoadEight(row);
        EightFloats sum = e * e;
        for (int j = 1; j < side; ++j) {
            e = SplatEight(r[j]) - LoadEight(row + j);
            sum = sum + e * e;
        }
        rowSum[i] = sum;
    }
    EightFloats total = rowSum[0];
    for (int i = 1; i < side; ++i) total = total + rowSum[i];
    return total;
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

// The distances of every candidate of the window, its rows pitch floats apart in distances, and
// the least of each eight of them in least.
template <int side>
QV_LOOP_BODY void WindowDistancesBody(const float* plane, int stride, int referenceAt, const SearchWindow* window,
                                      int pitch, float* distances, float* least)
{
    float reference[side * side];
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j) reference[i * side + j] = plane[referenceAt + i * stride + j];
    for (int y = window->top; y <= window->bottom; ++y) {
        float* row = distances + (y - window->top) * pitch;
        for (int x = window->left; x <= window->right; x += lanes) {
            const EightFloats d = LaneDistances<side>(reference, plane + y * stride + x, stride);
            StoreEight(row + (x - window->left), d);
            *least++ = Least(d);
        }
    }
}
#define QV_WINDOW_DISTANCES(side)                                                                                 \
    QV_LOOP_BODY void WindowDistances##side##Body(const float* plane, int stride, int referenceAt,                \
                                                  const SearchWindow* window, int pitch, float* distances,        \
                                                  float* least)                                                   \
    {                                                                                                             \
        WindowDistancesBody<side>(plane, stride, referenceAt, window, pitch, distances, least);                   \
    }                                                                                                             \
    QV_WIDE_LOOP(WindowDistances##side,                                                                           \
                 (const float* plane, int stride, int referenceAt, const SearchWindow* window, int pitch,         \
                  float* distances, float* least),                                                                \
                 (plane, stride, referenceAt, window, pitch, distances, least))
QV_WINDOW_DISTANCES(8)
QV_WINDOW_DISTANCES(12)
#undef QV_WINDOW_DISTANCES

// The best matches so far, most alike first, and among equal distances the one first in the plane
// (the smaller offset), whatever order they come in.
struct Best {
    float distance[largestGroup];
    int offset[largestGroup];
    int count = 0;
    int wanted = 0;

    bool Full() const { return count == wanted; }
    float Worst() const { return distance[count - 1]; }

    static bool Ahead(float d, int at, float thanDistance, int thanOffset)
    {
        return d < thanDistance || (d == thanDistance && at < thanOffset);
    }

    void Consider(float d, int at)
    {
        if (Full() && !Ahead(d, at, distance[count - 1], offset[count - 1])) return;
        int slot = Full() ? count - 1 : count++;
        while (slot > 1 && Ahead(d, at, distance[slot - 1], offset[slot - 1])) {
            distance[slot] = distance[slot - 1];
            offset[slot] = offset[slot - 1];
            --slot;
        }
        distance[slot] = d;
        offset[slot] = at;
    }
};

}  // namespace

int MatchPatches(const float* plane, int stride, int side, int referenceX, int referenceY, const SearchWindow& window,
                 int wanted, int* found)
{
    const int referenceAt = referenceY * stride + referenceX;
    const int pitch = (window.right - window.left) / lanes * lanes + lanes;
    float distances[widestSearch * (widestSearch - 1 + lanes)];
    float least[widestSearch * (widestSearch - 1 + lanes) / lanes];
    if (side == largePatchSide)
        WindowDistances12(plane, stride, referenceAt, &window, pitch, distances, least);
    else
        WindowDistances8(plane, stride, referenceAt, &window, pitch, distances, least);
    Best best;
    best.wanted = wanted;
    best.distance[0] = -1.0f;  // the reference, ahead of anything
    best.offset[0] = referenceAt;
    best.count = 1;
    // Rows nearest the reference first: alike patches tend to lie near it, and once the group is
    // full of them most of the rest go unread, eight at a time.
    const int width = window.right - window.left + 1, chunks = (width - 1) / lanes + 1;
    const int height = window.bottom - window.top + 1, start = referenceY - window.top;
    const auto scanRow = [&](int row) {
        const float* rowDistances = distances + row * pitch;
        const int rowAt = (window.top + row) * stride + window.left;
        for (int chunk = 0; chunk < chunks; ++chunk) {
            if (best.Full() && least[row * chunks + chunk] > best.Worst()) continue;
            for (int x = chunk * lanes; x < (chunk + 1) * lanes && x < width; ++x)
                if (rowAt + x != referenceAt) best.Consider(rowDistances[x], rowAt + x);
        }
    };
    for (int away = 0; away < height; ++away) {
        if (start - away >= 0) scanRow(start - away);
        if (away > 0 && start + away < height) scanRow(start + away);
    }
    for (int k = 0; k < best.count; ++k) found[k] = best.offset[k];
    return best.count;
}
