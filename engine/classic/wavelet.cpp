#include "engine/classic/wavelet.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "colour/lanes.h"
#include "engine/parallel_for.h"
#include "engine/wide_loops.h"

namespace {

// The Daubechies scaling filter with four vanishing moments, exactly these doubles.
constexpr double lowPassFilter[8] = {
    0.2303778133088965,   0.7148465705529157,  0.6308807679298589,  -0.027983769416859854,
    -0.18703481171909309, 0.030841381835560764, 0.0328830116668852, -0.010597401785069032,
};

// g[i] = (-1)^i h[7 - i]: only signs change, so the high-pass taps are exact too.
constexpr double highPassFilter[8] = {
    lowPassFilter[7], -lowPassFilter[6], lowPassFilter[5], -lowPassFilter[4],
    lowPassFilter[3], -lowPassFilter[2], lowPassFilter[1], -lowPassFilter[0],
};

// Scratch of one step: its input split in two halves, each extended by the three samples the
// filter reads past its end. A forward step of n reads n samples, an inverse one of -m reads 2m.
std::int64_t ScratchSize(std::int64_t n)
{
    return (n < 0 ? -2 * n : n) + 6;
}

// Only a 32-bit process can be asked for a step longer than it can address.
bool ScratchFits(std::int64_t n)
{
    return static_cast<std::uint64_t>(ScratchSize(n)) <= PTRDIFF_MAX / sizeof(double);
}

// The span [first, last) of x[0, n) outside which every value is a zero of either sign; {n, 0} when
// all are. The runs of zeros the square's margins leave are long, so they are tested eight values
// at a time.
struct Span {
    std::int64_t first, last;
};

QV_LOOP_BODY bool ZeroPiece(const double* x)
{
    std::uint64_t bits = 0;
    for (int k = 0; k < 8; ++k) bits |= std::bit_cast<std::uint64_t>(x[k]) << 1;  // the sign shifted out
    return bits == 0;
}

QV_LOOP_BODY Span NonZeroSpan(const double* x, std::int64_t n)
{
    std::int64_t first = 0;
    while (first + 8 <= n && ZeroPiece(x + first)) first += 8;
    while (first < n && x[first] == 0.0) ++first;
    if (first == n) return {n, 0};
    std::int64_t last = n;
    while (last - 8 >= first && ZeroPiece(x + last - 8)) last -= 8;
    while (x[last - 1] == 0.0) --last;
    return {first, last};
}

// Analysis of row[0, n). The input is split into even and odd samples, each extended
// periodically by three, so that output k reads both halves at k ... k + 3 without wrapping;
// x[2k + j] is even[k + j/2] for even j and odd[k + j/2] for odd j. The taps are still
// accumulated one by one in the order j = 0 ... 7.
//
// An output whose eight samples are all zeros is +0, each sum starting at +0. When the first eight
// samples are zeros no output wraps onto the others, so only the outputs [low, high) that reach
// into the nonzero span are computed and the rest written as +0.
QV_LOOP_BODY void ForwardLevelBody(std::int64_t n, double* row, double* scratch)
{
    const std::int64_t half = n / 2;
    if (half == 0) return;
    const Span span = NonZeroSpan(row, n);
    std::int64_t low = 0, high = half;
    if (span.first >= span.last)
        high = 0;
    else if (span.first >= 8)
        low = (span.first - 6) / 2, high = std::min(half, (span.last - 1) / 2 + 1);
    double* even = scratch;
    double* odd = scratch + half + 3;
    for (std::int64_t k = low; k < std::min(half, high + 3); ++k) {
        even[k] = row[2 * k];
        odd[k] = row[2 * k + 1];
    }
    for (std::int64_t k = std::max(half, low); k < high + 3; ++k) {
        even[k] = row[(2 * k) % n];
        odd[k] = row[(2 * k + 1) % n];
    }
    double* approximation = row;
    double* detail = row + half;
    for (std::int64_t k = low; k < high; ++k) {
        double a = 0.0;
        double d = 0.0;
        for (int t = 0; t < 4; ++t) {
            a = (lowPassFilter[2 * t] * even[k + t]) + a;
            d = (highPassFilter[2 * t] * even[k + t]) + d;
            a = (lowPassFilter[2 * t + 1] * odd[k + t]) + a;
            d = (highPassFilter[2 * t + 1] * odd[k + t]) + d;
        }
        approximation[k] = a;
        detail[k] = d;
    }
    for (double* part : {approximation, detail}) {
        std::fill(part, part + low, 0.0);
        std::fill(part + std::max(low, high), part + half, 0.0);
    }
}

// Synthesis of m approximation and m detail coefficients into row[0, 2m). Both halves are copied
// with the three coefficients before their start (periodically) in front, so that sample i reads
// index i - j as position 3 + i - j.
//
// As in the analysis, samples whose eight inputs are all zeros are +0: when the last three
// coefficients of both halves are zeros nothing wraps, and only the samples of [low, high) are
// computed.
QV_LOOP_BODY void InverseLevelBody(std::int64_t m, double* row, double* scratch)
{
    if (m == 0) return;
    const Span approximations = NonZeroSpan(row, m), details = NonZeroSpan(row + m, m);
    const std::int64_t first = std::min(approximations.first, details.first);
    const std::int64_t last = std::max(approximations.last, details.last);
    std::int64_t low = 0, high = m;
    if (first >= last)
        high = 0;
    else if (last <= m - 3)
        low = first, high = last + 3;
    double* approximation = scratch;
    double* detail = scratch + m + 3;
    for (std::int64_t t = 0; t < 3; ++t) {
        const std::int64_t source = ((t - 3) % m + m) % m;
        approximation[t] = row[source];
        detail[t] = row[m + source];
    }
    const std::int64_t from = std::max<std::int64_t>(0, low - 3), to = std::max(from, high);
    std::copy(row + from, row + to, approximation + 3 + from);
    std::copy(row + m + from, row + m + to, detail + 3 + from);
    for (std::int64_t i = low; i < high; ++i) {
        double even = 0.0;
        double odd = 0.0;
        for (int j = 0; j < 4; ++j) {
            const double a = approximation[3 + i - j];
            const double d = detail[3 + i - j];
            even = ((lowPassFilter[2 * j] * a) + (highPassFilter[2 * j] * d)) + even;
            odd = ((lowPassFilter[2 * j + 1] * a) + (highPassFilter[2 * j + 1] * d)) + odd;
        }
        row[2 * i] = even;
        row[2 * i + 1] = odd;
    }
    std::fill(row, row + 2 * low, 0.0);
    std::fill(row + 2 * std::max(low, high), row + 2 * m, 0.0);
}

QV_WIDE_LOOP(ForwardLevel, (std::int64_t n, double* row, double* scratch), (n, row, scratch))
QV_WIDE_LOOP(InverseLevel, (std::int64_t m, double* row, double* scratch), (m, row, scratch))

// Whether the row holds only zeros with a plus sign. Every level takes such a row to the very same
// zeros in either direction (each sum starts at +0), so the passes leave it alone. The square's
// margins leave such rows in the column passes: a fifth of them for 1600 x 1200 pixels.
bool OnlyPlusZeros(const double* row, std::int32_t size)
{
    constexpr std::int32_t chunk = 8;
    for (std::int32_t j = 0; j < size; j += chunk) {
        std::uint64_t bits = 0;
        for (std::int32_t k = j; k < std::min(size, j + chunk); ++k) bits |= std::bit_cast<std::uint64_t>(row[k]);
        if (bits != 0) return false;
    }
    return true;
}

// Runs the rows [first, last) of the plane through their levels (rows are independent), each
// thread with its own scratch of size + 6 doubles.
template <class RowWork>
bool EachRow(WorkerTeam& team, CoefficientPlane& plane, std::int32_t size, std::int32_t first, std::int32_t last,
             const RowWork& rowWork)
{
    const int workers = team.size;
    const auto perWorker = static_cast<std::size_t>(ScratchSize(size));
    std::unique_ptr<double[]> scratch(new (std::nothrow) double[perWorker * workers]);
    if (!scratch) return false;
    ParallelFor(team, last - first, RowsPerChunk(size), [&](int worker, int from, int to) {
        double* own = scratch.get() + perWorker * worker;
        for (int i = first + from; i < first + to; ++i)
            if (!OnlyPlusZeros(PlaneRow(plane, i), size)) rowWork(PlaneRow(plane, i), own);
    });
    return true;
}

// Edge of the square tiles the transposition exchanges. Rows of a power-of-two plane are a
// power-of-two apart and would all compete for the same cache sets if columns were walked
// directly, so each tile goes through a small buffer that is read and written row by row.
constexpr int tileSize = 32;

// Tiles are exchanged a group of groupTiles x groupTiles at a time: every tile row touches 32
// rows, each on a page of its own, and a group reuses the same few hundred pages before moving
// on, so that the processor's page-table cache holds them where pages are only 4 KiB.
constexpr int groupTiles = 16;

// buffer[c][r] = plane[top + r][left + c] for a tile of rows x columns. Rows outside nonZero
// are known to be zero and are not read: a fresh page read before it is written costs the system
// a second fault and a flush of every core's page-table cache.
// Four rows of a full tile into buffer[c][0 ... 3], four columns at a time, each 4 x 4 block
// transposed in registers. AVX2 only: the baseline would hold each row in two registers and be
// slower than the plain loop.
[[gnu::target("avx2")]] void ReadFourRowsTransposedAvx2(const double* const source[4], double* buffer)
{
    for (int c = 0; c < tileSize; c += 4) {
        Lanes row0, row1, row2, row3;
        __builtin_memcpy(&row0, source[0] + c, sizeof row0);
        __builtin_memcpy(&row1, source[1] + c, sizeof row1);
        __builtin_memcpy(&row2, source[2] + c, sizeof row2);
        __builtin_memcpy(&row3, source[3] + c, sizeof row3);
        const Lanes low01 = __builtin_shufflevector(row0, row1, 0, 4, 2, 6);
        const Lanes high01 = __builtin_shufflevector(row0, row1, 1, 5, 3, 7);
        const Lanes low23 = __builtin_shufflevector(row2, row3, 0, 4, 2, 6);
        const Lanes high23 = __builtin_shufflevector(row2, row3, 1, 5, 3, 7);
        const Lanes column0 = __builtin_shufflevector(low01, low23, 0, 1, 4, 5);
        const Lanes column1 = __builtin_shufflevector(high01, high23, 0, 1, 4, 5);
        const Lanes column2 = __builtin_shufflevector(low01, low23, 2, 3, 6, 7);
        const Lanes column3 = __builtin_shufflevector(high01, high23, 2, 3, 6, 7);
        __builtin_memcpy(buffer + (c + 0) * tileSize, &column0, sizeof column0);
        __builtin_memcpy(buffer + (c + 1) * tileSize, &column1, sizeof column1);
        __builtin_memcpy(buffer + (c + 2) * tileSize, &column2, sizeof column2);
        __builtin_memcpy(buffer + (c + 3) * tileSize, &column3, sizeof column3);
    }
}

void ReadTileTransposed(const CoefficientPlane& plane, int top, int left, int rows, int columns, RowSpan nonZero,
                        double* buffer)
{
    if (rows == tileSize && columns == tileSize && top >= nonZero.first && top + tileSize <= nonZero.last &&
        WideLoopsOn()) {
        for (int r = 0; r < tileSize; r += 4) {
            const double* const source[4] = {PlaneRow(plane, top + r) + left, PlaneRow(plane, top + r + 1) + left,
                                             PlaneRow(plane, top + r + 2) + left, PlaneRow(plane, top + r + 3) + left};
            ReadFourRowsTransposedAvx2(source, buffer + r);
        }
        return;
    }
    for (int r = 0; r < rows; ++r) {
        if (top + r < nonZero.first || top + r >= nonZero.last) {
            for (int c = 0; c < columns; ++c) buffer[c * tileSize + r] = 0.0;
            continue;
        }
        const double* source = PlaneRow(plane, top + r) + left;
        for (int c = 0; c < columns; ++c) buffer[c * tileSize + r] = source[c];
    }
}

// Each tile row is copied by a loop of its own rather than by the C library's memmove, whose call
// costs as much as the copy for 32 doubles (four times more in Wine's 32-bit runtime, which moves
// four bytes at a time). The build keeps the compiler from turning the loop back into that call.
void WriteTile(const double* buffer, int top, int left, int rows, int columns, CoefficientPlane& plane)
{
    for (int r = 0; r < rows; ++r) {
        const double* from = buffer + r * tileSize;
        double* to = PlaneRow(plane, top + r) + left;
        for (int c = 0; c < columns; ++c) to[c] = from[c];
    }
}

bool Meets(RowSpan span, int first, int last)
{
    return first < span.last && span.first < last;
}

// Exchanges tile (p, q) with tile (q, p), transposing both; a diagonal tile is transposed in
// itself. A tile that would land only on rows outside wanted stays where it is.
void ExchangeTiles(CoefficientPlane& plane, std::int32_t size, int p, int q, RowSpan nonZero, RowSpan wanted,
                   double* upper, double* lower)
{
    const int top = p * tileSize, left = q * tileSize;
    const int height = std::min(size - top, tileSize), width = std::min(size - left, tileSize);
    const bool upperWanted = Meets(wanted, left, left + width);
    const bool lowerWanted = q != p && Meets(wanted, top, top + height);
    if (upperWanted) ReadTileTransposed(plane, top, left, height, width, nonZero, upper);
    if (lowerWanted) {
        ReadTileTransposed(plane, left, top, width, height, nonZero, lower);
        WriteTile(lower, top, left, height, width, plane);
    }
    if (upperWanted) WriteTile(upper, left, top, width, height, plane);
}

}  // namespace

int LevelCount(std::int32_t size)
{
    int levels = 0;
    while (levels < 3 && (std::int64_t{1} << (levels + 1)) <= size) ++levels;
    return levels;
}

int CoarseSize(std::int32_t size)
{
    return size >> LevelCount(size);
}

bool WaveletStep(std::int32_t n, double* row)
{
    if (!ScratchFits(n)) return false;
    std::unique_ptr<double[]> scratch(new (std::nothrow) double[static_cast<std::size_t>(ScratchSize(n))]);
    if (!scratch) return false;
    if (n >= 1)
        ForwardLevel(n, row, scratch.get());
    else
        InverseLevel(-std::int64_t{n}, row, scratch.get());
    return true;
}

bool ForwardRowPass(WorkerTeam& team, CoefficientPlane& plane, std::int32_t size, int levels, std::int32_t firstRow,
                    std::int32_t lastRow)
{
    return EachRow(team, plane, size, firstRow, lastRow, [size, levels](double* row, double* scratch) {
        for (int level = 0; level < levels; ++level) ForwardLevel(size >> level, row, scratch);
    });
}

bool InverseRowPass(WorkerTeam& team, CoefficientPlane& plane, std::int32_t size, int levels, std::int32_t firstRow,
                    std::int32_t lastRow)
{
    return EachRow(team, plane, size, firstRow, lastRow, [size, levels](double* row, double* scratch) {
        for (int level = levels; level > 0; --level) InverseLevel(size >> level, row, scratch);
    });
}

// Every element moves exactly once, so this equals copying through a second plane. The work is
// split into pairs of tile groups (P, Q) with Q >= P, each exchanging its tiles on one thread.
void TransposePlane(WorkerTeam& team, CoefficientPlane& plane, std::int32_t size, RowSpan nonZero, RowSpan wanted)
{
    const int tiles = (size + tileSize - 1) / tileSize;
    const int groups = (tiles + groupTiles - 1) / groupTiles;
    const int pairs = groups * (groups + 1) / 2;
    ParallelFor(team, pairs, 1, [&](int, int first, int last) {
        double upper[tileSize * tileSize];
        double lower[tileSize * tileSize];
        for (int pair = first; pair < last; ++pair) {
            // pair numbers run along the rows of the upper triangle: (0, 0), (0, 1), ... (1, 1), ...
            int P = 0, rest = pair;
            while (rest >= groups - P) rest -= groups - P++;
            const int Q = P + rest;
            for (int p = P * groupTiles; p < std::min(tiles, (P + 1) * groupTiles); ++p)
                for (int q = std::max(p, Q * groupTiles); q < std::min(tiles, (Q + 1) * groupTiles); ++q)
                    ExchangeTiles(plane, size, p, q, nonZero, wanted, upper, lower);
        }
    });
}

bool ForwardTransform2D(int threads, CoefficientPlane& plane, std::int32_t size, int levels)
{
    WorkerTeam team(threads);
    if (!ForwardRowPass(team, plane, size, levels, 0, size)) return false;
    TransposePlane(team, plane, size, {0, size}, {0, size});
    return ForwardRowPass(team, plane, size, levels, 0, size);
}

bool InverseTransform2D(int threads, CoefficientPlane& plane, std::int32_t size, int levels)
{
    WorkerTeam team(threads);
    if (!InverseRowPass(team, plane, size, levels, 0, size)) return false;
    TransposePlane(team, plane, size, {0, size}, {0, size});
    return InverseRowPass(team, plane, size, levels, 0, size);
}
