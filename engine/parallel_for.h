#pragma once
#include <algorithm>
#include <atomic>
#include <thread>

// Spreads independent items (rows, tiles, planes) of one engine call over a few threads and
// returns when all are done, so the call stays synchronous. Items never share an output, hence the
// result does not depend on which thread takes which item. A body takes whatever it needs from
// the caller by capture.

constexpr int maxEngineThreads = 16;

// The threads a call may use when asked for asked (a run's settings): 0 means one per processor,
// otherwise this many; 1 ... maxEngineThreads.
int ThreadsFor(int asked);

// Starting a thread costs tens of microseconds, so a chunk of work is made at least this many
// plane elements; a small picture (the preview's crop) then runs on the caller's thread alone.
constexpr int elementsPerChunk = 32768;

// Rows of the given length per chunk.
inline int RowsPerChunk(int rowLength)
{
    return std::max(1, elementsPerChunk / std::max(rowLength, 1));
}

// Calls body(worker, first, last) for consecutive chunks [first, last) of [0, count), chunk by
// chunk as threads become free, on up to ThreadsFor(threads) threads; worker (0 ... that count - 1)
// names the thread, so a body can use per-thread scratch. The caller's thread is worker 0 and
// always takes part; a helper that cannot be started leaves its share to the others. body must not
// throw.
template <class Body>
void ParallelFor(int threads, int count, int grain, const Body& body)
{
    if (count <= 0) return;
    grain = std::max(grain, 1);
    const int chunks = (count - 1) / grain + 1;
    const int workers = std::min(ThreadsFor(threads), chunks);
    std::atomic<int> next{0};
    const auto work = [&](int worker) {
        for (int chunk = next.fetch_add(1); chunk < chunks; chunk = next.fetch_add(1)) {
            const int first = chunk * grain;
            body(worker, first, std::min(count, first + grain));
        }
    };
    std::thread helpers[maxEngineThreads];
    int started = 0;
    for (; started < workers - 1; ++started) {
        try {
            helpers[started] = std::thread(work, started + 1);
        } catch (...) {  // no thread to be had (std::system_error) or no memory for its state
            break;
        }
    }
    work(0);
    for (int i = 0; i < started; ++i) helpers[i].join();
}
