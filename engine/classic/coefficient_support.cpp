#include "engine/classic/coefficient_support.h"

std::vector<std::uint8_t> SupportAfterLevels(std::int32_t size, int levels, std::int32_t first, std::int32_t last)
{
    std::vector<std::uint8_t> support(static_cast<std::size_t>(size), 0);
    for (std::int32_t x = first; x < last; ++x) support[static_cast<std::size_t>(x)] = 1;
    // Each level maps the approximations [0, n) onto approximations [0, n/2) and details
    // [n/2, n); output k reads samples 2k ... 2k + 7, periodically.
    std::vector<std::uint8_t> input;
    for (int level = 0; level < levels; ++level) {
        const std::int32_t n = size >> level, half = n / 2;
        input.assign(support.begin(), support.begin() + n);
        for (std::int32_t k = 0; k < half; ++k) {
            std::uint8_t reached = 0;
            for (std::int32_t t = 0; t < 8; ++t) reached |= input[static_cast<std::size_t>((2 * k + t) % n)];
            support[static_cast<std::size_t>(k)] = reached;
            support[static_cast<std::size_t>(half + k)] = reached;
        }
    }
    return support;
}

CoefficientSupport SupportOfPicture(std::int32_t size, int levels, std::int32_t columnFirst, std::int32_t width,
                                    std::int32_t rowFirst, std::int32_t height)
{
    CoefficientSupport support;
    support.rows = SupportAfterLevels(size, levels, columnFirst, columnFirst + width);
    const std::vector<std::uint8_t> columns = SupportAfterLevels(size, levels, rowFirst, rowFirst + height);
    for (std::int32_t j = 0; j < size; ++j) {
        if (!columns[static_cast<std::size_t>(j)]) continue;
        if (support.columns.empty() || support.columns.back().last != j)
            support.columns.push_back({j, j + 1});
        else
            ++support.columns.back().last;
    }
    return support;
}

CoefficientSupport WholeSquare(std::int32_t size)
{
    return {std::vector<std::uint8_t>(static_cast<std::size_t>(size), 1), {{0, size}}};
}
