#include "engine/parallel_for.h"

int ThreadsFor(int asked)
{
    const int count = asked > 0 ? asked : static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(count, 1, maxEngineThreads);
}
