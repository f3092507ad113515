#include <windows.h>

#include "support/system_probe.h"

namespace {

using FreeResourcesFunction = WORD(WINAPI*)(WORD kind);

// The resource meter exists only on Windows 9x; without it the percentages keep their values.
void ProbeFreeResources()
{
    HMODULE meter = LoadLibraryA("rsrc32.dll");
    if (meter == nullptr) {
        return;
    }
    auto freeResources = reinterpret_cast<FreeResourcesFunction>(
        reinterpret_cast<void*>(GetProcAddress(meter, "_MyGetFreeSystemResources32@4")));
    if (freeResources != nullptr) {
        for (WORD kind = 0; kind < 3; ++kind) {  // system, GDI, USER
            systemFigures.freeResources[kind] = static_cast<std::int8_t>(freeResources(kind) & 0xFF);
        }
    }
    FreeLibrary(meter);
}

}  // namespace

bool ProbeSystem()
{
    ProbeFreeResources();
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    systemFigures.memoryLoad = status.dwMemoryLoad;
    systemFigures.totalPhysical = status.dwTotalPhys;
    systemFigures.availablePhysical = status.dwAvailPhys;
    return true;
}
