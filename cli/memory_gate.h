#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

// Keeps the pictures processed at once within the memory: before its run a worker reserves the
// bytes the run will need and waits while the others hold too much of the budget. A picture
// needing more than the whole budget waits until it runs alone.
struct MemoryGate {
    std::mutex lock;
    std::condition_variable released;
    std::uint64_t budget = 0;
    std::uint64_t reserved = 0;
};

void ReserveMemory(MemoryGate& gate, std::uint64_t bytes);
void ReleaseMemory(MemoryGate& gate, std::uint64_t bytes);

// Worker threads for a batch: as many as asked for (0: the cores), never more than the pictures.
// The gate then lowers how many of them run at once to what the memory holds.
int WorkerCount(int jobsAsked, int cores, int pictures);
