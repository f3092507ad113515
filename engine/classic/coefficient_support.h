#pragma once
#include <cstdint>
#include <vector>

#include "engine/classic/wavelet.h"

// Where a picture's coefficients can differ from zero once its square is transformed. The square's
// margins are zero, and a coefficient whose filter taps reach, at every level, only zeros is +0
// (each sum starts at +0); the shrinkage keeps a zero of either sign as it is. So the shrinkage
// may leave out the rest: it changes nothing there, and adds only zeros to its sums.
struct CoefficientSupport {
    // Per row of the transformed plane (a horizontal position): whether it can hold a nonzero.
    std::vector<std::uint8_t> rows;
    // The spans of columns (vertical positions) that can, ascending and apart.
    std::vector<RowSpan> columns;
};

// The positions [0, size) that can differ from zero after levels forward levels of a signal that
// is zero outside [first, last).
std::vector<std::uint8_t> SupportAfterLevels(std::int32_t size, int levels, std::int32_t first, std::int32_t last);

// A picture's support: columnFirst and width place it across the square, rowFirst and height down.
CoefficientSupport SupportOfPicture(std::int32_t size, int levels, std::int32_t columnFirst, std::int32_t width,
                                    std::int32_t rowFirst, std::int32_t height);

// Every position of a square of the given side.
CoefficientSupport WholeSquare(std::int32_t size);
