#include "engine/parallel_for.h"

thread_local int engineThreads = 0;

int EngineThreadCount()
{
    const int count = engineThreads > 0 ? engineThreads : static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(count, 1, maxEngineThreads);
}
