#include "cli/interruption.h"

#include <atomic>
#include <cstdlib>

namespace {

// Lock-free, so the signal handler may touch them. The order (flag, then count in the handler;
// count, then flag in a writer) guarantees that one side always sees the other.
std::atomic<bool> interrupted{false};
std::atomic<int> writesRunning{0};

constexpr int interruptedExitCode = 130;

}  // namespace

void OnInterruption()
{
    interrupted = true;
    if (writesRunning == 0) std::_Exit(interruptedExitCode);
}

bool BeginWrite()
{
    ++writesRunning;
    if (!interrupted) return true;
    EndWrite();
    return false;
}

void EndWrite()
{
    if (--writesRunning == 0 && interrupted) std::_Exit(interruptedExitCode);
}
