#pragma once
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Spreads independent items (rows, tiles, planes) of one engine call over a few threads and
// returns when all are done, so the call stays synchronous. Items never share an output, hence the
// result does not depend on which thread takes which item. A body takes whatever it needs from
// the caller by capture.

constexpr int maxEngineThreads = 16;

// The threads a call may use when asked for asked (a run's settings): 0 means one per processor,
// otherwise this many; 1 ... maxEngineThreads.
int ThreadsFor(int asked);

// Waking a helper for a step costs microseconds, and starting one for a call tens of them (hundreds
// under Wine), so a chunk of work is made at least this many plane elements; a small picture (the
// preview's crop) then runs on the caller's thread alone and starts no helper.
constexpr int elementsPerChunk = 32768;

// Rows of the given length per chunk.
inline int RowsPerChunk(int rowLength)
{
    return std::max(1, elementsPerChunk / std::max(rowLength, 1));
}

// The helper threads of one engine call, started at the first step that needs them and ended and
// joined when the call's team goes out of scope. A whole-picture run has some seventy parallel
// steps, and starting a thread costs tens of microseconds natively and about half a millisecond
// under Wine, so every step of the call runs on the same helpers.
struct WorkerTeam {
    explicit WorkerTeam(int threads);  // as in DenoiseSettings: 0 is one per processor
    ~WorkerTeam();
    WorkerTeam(const WorkerTeam&) = delete;
    WorkerTeam& operator=(const WorkerTeam&) = delete;

    const int size;  // the caller's thread and its helpers

    // The step in progress, guarded by lock.
    std::mutex lock;
    std::condition_variable wake, finished;
    void (*call)(const void* context, int worker) = nullptr;
    const void* context = nullptr;
    unsigned step = 0;  // counts the steps, so a helper knows a new one from the last
    int wanted = 0;     // workers 0 ... wanted - 1 take part in the step
    int running = 0;    // helpers still working on it
    bool ending = false;
    int started = 0;
    std::thread helpers[maxEngineThreads - 1];
};

// Calls call(context, worker) on workers 0 ... workers - 1 of the team and returns when all are
// done. The caller's thread is worker 0 and always takes part; a helper that cannot be started
// leaves its share to the others, so call must not expect a particular worker to come.
void RunOnTeam(WorkerTeam& team, int workers, void (*call)(const void*, int), const void* context);

// Calls body(worker, first, last) for consecutive chunks [first, last) of [0, count), chunk by
// chunk as the team's threads become free; worker (0 ... team.size - 1) names the thread, so a
// body can use per-thread scratch. body must not throw, nor start a step on the same team.
template <class Body>
void ParallelFor(WorkerTeam& team, int count, int grain, const Body& body)
{
    if (count <= 0) return;
    grain = std::max(grain, 1);
    const int chunks = (count - 1) / grain + 1;
    const int workers = std::min(team.size, chunks);
    std::atomic<int> next{0};
    const auto work = [&](int worker) {
        for (int chunk = next.fetch_add(1); chunk < chunks; chunk = next.fetch_add(1)) {
            const int first = chunk * grain;
            body(worker, first, std::min(count, first + grain));
        }
    };
    if (workers == 1) return work(0);
    using Work = decltype(work);
    RunOnTeam(
        team, workers, [](const void* context, int worker) { (*static_cast<const Work*>(context))(worker); }, &work);
}
