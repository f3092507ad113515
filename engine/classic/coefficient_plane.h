#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

// One colour channel in the wavelet domain: size x size doubles, size a power of two. The rows lie
// back to back in one block (row i starts at element i * size), so every pass of the transform
// and the shrinkage walks contiguous memory.
struct CoefficientPlane {
    struct Release {
        void operator()(double* block) const { std::free(block); }
    };
    std::unique_ptr<double[], Release> data;
    std::int32_t size = 0;
};

// Makes a zero-filled plane of size x size. False, with the plane empty, when the size is not
// positive, its bytes do not fit the address space or memory is short; never throws, because a
// large picture is a user's input, not a programming error.
bool AllocatePlane(std::int32_t size, CoefficientPlane& plane);

void ReleasePlane(CoefficientPlane& plane);

inline double* PlaneRow(CoefficientPlane& plane, std::int32_t i)
{
    return plane.data.get() + static_cast<std::size_t>(i) * static_cast<std::size_t>(plane.size);
}

inline const double* PlaneRow(const CoefficientPlane& plane, std::int32_t i)
{
    return plane.data.get() + static_cast<std::size_t>(i) * static_cast<std::size_t>(plane.size);
}
