// The ordered pool, whichever version the build has: results come back in
// the order queued whatever the workers' speeds, what a task throws comes
// back at its own take(), each worker runs one task at a time, and the tasks
// running together stay within the memory budget.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ordered_pool.hpp"

using namespace md3;

namespace {

struct Task {
    int id = -1;
    int result = -1;
    std::uint64_t cost = 0;
};

TEST(OrderedPool, KeepsTheOrderCarriesExceptionsAndKeepsToItsBudget) {
    constexpr int kTasks = 60;
    constexpr std::uint64_t kBudget = 100;
    for (const unsigned workers : {1u, 2u, 4u}) {
        SCOPED_TRACE(workers);
        std::vector<Task> slots(3 * workers);
        std::vector<std::atomic<int>> busy(workers);
        std::atomic<std::uint64_t> inFlight{0}, mostInFlight{0};
        std::atomic<bool> overlapped{false};
        PoolTasks tasks{
            .run =
                [&](std::size_t s, unsigned w) {
                    ASSERT_LT(w, workers);
                    if (busy[w]++ != 0) overlapped = true;
                    const std::uint64_t now = inFlight += slots[s].cost;
                    std::uint64_t most = mostInFlight;
                    while (now > most && !mostInFlight.compare_exchange_weak(most, now)) {
                    }
                    // Later tasks finish sooner: the order must not come from timing.
                    std::this_thread::sleep_for(
                        std::chrono::microseconds((kTasks - slots[s].id) * 20));
                    inFlight -= slots[s].cost;
                    --busy[w];
                    if (slots[s].id % 7 == 3) throw std::runtime_error(std::to_string(slots[s].id));
                    slots[s].result = slots[s].id * slots[s].id;
                },
            .cost = [&](std::size_t s) { return slots[s].cost; }};
        OrderedPool pool({.workers = workers, .slotsPerWorker = 3, .memoryBudget = kBudget},
                         std::move(tasks));
        ASSERT_EQ(pool.slots(), slots.size());
        std::vector<int> taken;
        const auto take = [&] {
            try {
                const std::size_t s = pool.take();
                EXPECT_EQ(slots[s].result, slots[s].id * slots[s].id);
                taken.push_back(slots[s].id);
            } catch (const std::runtime_error& e) {
                taken.push_back(-std::stoi(e.what()));
            }
        };
        for (int id = 0; id < kTasks; ++id) {
            while (pool.full()) take();
            // Every tenth task costs more than the whole budget: it runs alone.
            slots[pool.next_slot()] = {id, -1, id % 10 == 5 ? 3 * kBudget : 40};
            pool.submit();
        }
        while (pool.pending()) take();
        ASSERT_EQ(taken.size(), static_cast<std::size_t>(kTasks));
        for (int id = 0; id < kTasks; ++id) EXPECT_EQ(taken[id], id % 7 == 3 ? -id : id);
        EXPECT_FALSE(overlapped);
        EXPECT_LE(mostInFlight.load(), 3 * kBudget);
        EXPECT_GE(pool.workers(), 1u);
        EXPECT_LE(pool.workers(), workers);
        EXPECT_FALSE(pool.ready());
    }
}

// Two tasks of 40 fit a budget of 100, three do not: never more than two run
// at once, and a task over the whole budget never runs beside another.
TEST(OrderedPool, ATaskOverTheBudgetRunsAlone) {
    std::vector<std::uint64_t> cost(16);
    std::atomic<std::uint64_t> inFlight{0};
    std::atomic<bool> beyond{false};
    OrderedPool pool({.workers = 4, .slotsPerWorker = 4, .memoryBudget = 100},
                     {.run =
                          [&](std::size_t s, unsigned) {
                              const std::uint64_t now = inFlight += cost[s];
                              if (now > 100 && now != cost[s]) beyond = true;
                              std::this_thread::sleep_for(std::chrono::milliseconds(2));
                              inFlight -= cost[s];
                          },
                      .cost = [&](std::size_t s) { return cost[s]; }});
    for (int i = 0; i < 40; ++i) {
        while (pool.full()) pool.take();
        cost[pool.next_slot()] = i % 5 == 2 ? 500 : 40;
        pool.submit();
    }
    while (pool.pending()) pool.take();
    EXPECT_FALSE(beyond);
}

}  // namespace
