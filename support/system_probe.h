#pragma once
#include <cstdint>

// Figures about the machine for the diagnostic lines of the settings file.
struct SystemFigures {
    // Free system, GDI and USER resources in percent, from the Windows 9x resource meter.
    std::int8_t freeResources[3] = {0, 0, 0};
    std::uint32_t memoryLoad = 0;         // percent of physical memory in use
    std::uint64_t totalPhysical = 0;      // bytes
    std::uint64_t availablePhysical = 0;  // bytes
};

// Process-wide, so that figures a probe cannot renew keep their previous values.
extern SystemFigures systemFigures;

// Renews systemFigures. On Windows: the resource meter "rsrc32.dll" when it exists (only on
// Windows 9x; elsewhere the resource figures stay as they were) and GlobalMemoryStatus. On other
// systems the memory figures come from the system's page counts; the resource figures stay 0.
//
// The Windows program releases the converter module before calling this at exit, so that no
// module stays loaded afterwards; this function cannot reach the program's module slot.
bool ProbeSystem();
