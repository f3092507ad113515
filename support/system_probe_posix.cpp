#include <unistd.h>

#include "support/system_probe.h"

bool ProbeSystem()
{
#if defined(_SC_PHYS_PAGES) && defined(_SC_AVPHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pageSize = sysconf(_SC_PAGESIZE);
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long freePages = sysconf(_SC_AVPHYS_PAGES);
    if (pageSize > 0 && pages > 0 && freePages >= 0 && freePages <= pages) {
        systemFigures.totalPhysical = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
        systemFigures.availablePhysical = static_cast<std::uint64_t>(freePages) * static_cast<std::uint64_t>(pageSize);
        systemFigures.memoryLoad = static_cast<std::uint32_t>((pages - freePages) * 100 / pages);
        return true;
    }
#endif
    systemFigures.totalPhysical = 0;
    systemFigures.availablePhysical = 0;
    systemFigures.memoryLoad = 0;
    return true;
}
