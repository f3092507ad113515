#include "engine/classic/coefficient_plane.h"

#include <cstdint>
#include <limits>

bool AllocatePlane(std::int32_t size, CoefficientPlane& plane)
{
    ReleasePlane(plane);
    if (size <= 0) return false;
    const std::uint64_t elements = std::uint64_t(size) * std::uint64_t(size);
    const std::uint64_t largest = std::uint64_t(std::numeric_limits<std::ptrdiff_t>::max()) / sizeof(double);
    if (elements > largest) return false;
    // calloc hands out zeroed pages without touching them first, which matters for the margin
    // around a picture that is far from square.
    plane.data.reset(static_cast<double*>(std::calloc(static_cast<std::size_t>(elements), sizeof(double))));
    if (!plane.data) return false;
    plane.size = size;
    return true;
}

void ReleasePlane(CoefficientPlane& plane)
{
    plane.data.reset();
    plane.size = 0;
}
