#include "cli/memory_gate.h"

void ReserveMemory(MemoryGate& gate, std::uint64_t bytes)
{
    std::unique_lock<std::mutex> hold(gate.lock);
    gate.released.wait(hold, [&] {
        return gate.reserved == 0 || (gate.reserved <= gate.budget && gate.budget - gate.reserved >= bytes);
    });
    gate.reserved += bytes;
}

void ReleaseMemory(MemoryGate& gate, std::uint64_t bytes)
{
    {
        std::lock_guard<std::mutex> hold(gate.lock);
        gate.reserved -= bytes;
    }
    gate.released.notify_all();
}

int WorkerCount(int jobsAsked, int cores, int pictures)
{
    int workers = jobsAsked > 0 ? jobsAsked : (cores > 0 ? cores : 1);
    if (workers > pictures) workers = pictures > 0 ? pictures : 1;
    return workers;
}
