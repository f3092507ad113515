#pragma once
#include <cstdint>

#include "engine/classic/coefficient_plane.h"
#include "engine/parallel_for.h"

// Periodic orthonormal wavelet transform on the Daubechies 8-tap scaling filter. Every sum runs
// over the taps in a fixed order, because the engine's output is reproducible bit for bit.

// Decomposition levels for a plane of the given side: min(log2 size, 3); 0 for size 1.
int LevelCount(std::int32_t size);

// Side of the coarsest approximation block: size / 2^LevelCount(size).
int CoarseSize(std::int32_t size);

// One level of one row, in place. n >= 1 analyses row[0, n) into the approximation in
// row[0, n/2) and the detail in row[n/2, n). n <= 0 synthesises: -n approximation coefficients
// in row[0, -n) and as many details after them become 2 * -n samples. n is a power of two (or 0).
// False only when the step's scratch memory cannot be had.
bool WaveletStep(std::int32_t n, double* row);

// The two-dimensional transform in the phases between which a run reports progress. The forward
// is ForwardRowPass, TransposePlane, ForwardRowPass and leaves the plane transposed: plane[i][j]
// is the coefficient with horizontal index i and vertical index j. The inverse is InverseRowPass,
// TransposePlane, InverseRowPass on a plane in that state. The row passes are false only when
// scratch memory is short; the plane is then partly transformed and of no further use. They work
// on the rows [firstRow, lastRow) alone: the others are left as they are. They run on the call's
// team; the whole transforms start a team of threads threads (see DenoiseSettings) for themselves.
bool ForwardRowPass(WorkerTeam& team, CoefficientPlane& plane, std::int32_t size, int levels, std::int32_t firstRow,
                    std::int32_t lastRow);
bool InverseRowPass(WorkerTeam& team, CoefficientPlane& plane, std::int32_t size, int levels, std::int32_t firstRow,
                    std::int32_t lastRow);
// Rows [first, last) of a plane.
struct RowSpan {
    std::int32_t first, last;
};

// Rows outside nonZero must be zero and are not read; rows outside wanted are of no further use
// and may be left with anything. {0, size} for both is the plain transposition.
void TransposePlane(WorkerTeam& team, CoefficientPlane& plane, std::int32_t size, RowSpan nonZero, RowSpan wanted);

bool ForwardTransform2D(int threads, CoefficientPlane& plane, std::int32_t size, int levels);
bool InverseTransform2D(int threads, CoefficientPlane& plane, std::int32_t size, int levels);
