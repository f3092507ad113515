#include "engine/parallel_for.h"

namespace {

// A helper waits for each new step, works on it if it is among the step's workers and tells the
// caller when it is done; lastStep is the step count when it was started.
void Help(WorkerTeam& team, int worker, unsigned lastStep)
{
    std::unique_lock<std::mutex> hold(team.lock);
    for (;;) {
        team.wake.wait(hold, [&] { return team.ending || team.step != lastStep; });
        if (team.ending) return;
        lastStep = team.step;
        if (worker >= team.wanted) continue;
        const auto call = team.call;
        const void* context = team.context;
        hold.unlock();
        call(context, worker);
        hold.lock();
        if (--team.running == 0) team.finished.notify_one();
    }
}

}  // namespace

int ThreadsFor(int asked)
{
    const int count = asked > 0 ? asked : static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(count, 1, maxEngineThreads);
}

WorkerTeam::WorkerTeam(int threads) : size(ThreadsFor(threads)) { }

WorkerTeam::~WorkerTeam()
{
    {
        std::lock_guard<std::mutex> hold(lock);
        ending = true;
    }
    wake.notify_all();
    for (int i = 0; i < started; ++i) helpers[i].join();
}

void RunOnTeam(WorkerTeam& team, int workers, void (*call)(const void*, int), const void* context)
{
    std::unique_lock<std::mutex> hold(team.lock);
    for (; team.started < workers - 1; ++team.started) {
        try {
            team.helpers[team.started] = std::thread(Help, std::ref(team), team.started + 1, team.step);
        } catch (...) {  // no thread to be had (std::system_error) or no memory for its state
            break;
        }
    }
    team.call = call;
    team.context = context;
    team.wanted = workers;
    team.running = std::min(workers - 1, team.started);
    ++team.step;
    hold.unlock();
    team.wake.notify_all();
    call(context, 0);
    hold.lock();
    team.finished.wait(hold, [&] { return team.running == 0; });
}
