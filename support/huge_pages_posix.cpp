#include "support/huge_pages.h"

#include <cstdint>

#include <sys/mman.h>

void AdviseHugePages(void* block, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    // Only whole 2 MiB pages inside the block; the advice is per page of the mapping.
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + huge - 1) / huge * huge;
    const std::uintptr_t last = (begin + bytes) / huge * huge;
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}
