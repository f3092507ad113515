#include "support/usable_memory.h"

#include <windows.h>

std::uint64_t UsableMemoryBytes()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    // A 32-bit process cannot use more than its address space, however much memory is fitted.
    return status.ullTotalPhys < status.ullAvailVirtual ? status.ullTotalPhys : status.ullAvailVirtual;
}
