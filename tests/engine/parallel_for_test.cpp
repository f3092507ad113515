#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "engine/parallel_for.h"

// One team serves steps of every shape one after another: each item is visited exactly once, by a
// worker the team has, and a step that fits one chunk stays on the caller's thread.
TEST(WorkerTeam, EveryStepVisitsEachItemOnceOnTheSameHelpers)
{
    WorkerTeam team(4);
    ASSERT_EQ(team.size, 4);
    for (int round = 0; round < 200; ++round) {
        const int count = 1 + round * 37 % 500;
        const int grain = 1 + round % 7;
        std::vector<std::atomic<int>> visits(static_cast<std::size_t>(count));
        std::atomic<int> badWorker{0};
        ParallelFor(team, count, grain, [&](int worker, int first, int last) {
            if (worker < 0 || worker >= team.size || (count <= grain && worker != 0)) ++badWorker;
            for (int i = first; i < last; ++i) ++visits[static_cast<std::size_t>(i)];
        });
        ASSERT_EQ(badWorker.load(), 0) << round;
        for (int i = 0; i < count; ++i) ASSERT_EQ(visits[static_cast<std::size_t>(i)].load(), 1) << round << ": " << i;
    }
    EXPECT_LE(team.started, 3);
}
