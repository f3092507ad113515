#include "engine/picture_memory.h"

#include <algorithm>
#include <limits>

std::uint64_t JobMemoryNeed(const PictureHeader& header, std::uint64_t planeBytes, int threads)
{
    constexpr std::uint64_t arena = 64u << 20, stack = 8u << 20;
    const std::uint64_t held = HeldPictureBytes(header.width, header.height);
    const std::uint64_t working = planeBytes > std::numeric_limits<std::uint64_t>::max() - held ? planeBytes
                                                                                              : held + planeBytes;
    const std::uint64_t peak = std::max(LoadingBytes(header), working);
    const std::uint64_t stacks = arena + stack * static_cast<std::uint64_t>(std::max(1, threads));
    return peak > std::numeric_limits<std::uint64_t>::max() - stacks ? peak : peak + stacks;
}

bool PictureLoadFits(const std::string& path, std::uint64_t budget)
{
    PictureHeader header;
    if (ReadPictureHeader(path, header) != FileError::None) return true;
    return JobMemoryNeed(header, 0, 1) <= budget;
}
