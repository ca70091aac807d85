// Checking models on several cores while the report keeps the order of one:
// the ordered pool over check jobs, each worker with its own buffers, and the
// models being checked at once within one memory budget.
#pragma once

#include <memory>

#include "check_jobs.hpp"
#include "ordered_pool.hpp"

namespace md3 {

struct CheckResult {
    CheckJob job;
    ModelReport report;
};

struct PoolState;

struct CheckPool {
    // `workers` threads (at least one; as many as the system will start),
    // each with its own buffers, checking with `settings`.
    CheckPool(unsigned workers, const CheckSettings& settings);
    CheckPool(const CheckPool&) = delete;
    CheckPool& operator=(const CheckPool&) = delete;
    // Waits for the jobs being checked; those queued and not begun are dropped.
    ~CheckPool();

    // Whether the ring is full: the oldest result must be taken before
    // another job can be queued. It holds a few jobs per worker, so that
    // memory stays bounded however large the tree.
    bool full() const;
    // Queues `job`; the ring must not be full.
    void submit(CheckJob job);
    // Whether some job queued has not been taken yet.
    bool pending() const;
    // Whether the oldest job not taken is checked, so that take() returns at once.
    bool ready() const;
    // The oldest job not taken, with its report, once it is checked. There
    // must be one pending.
    CheckResult take();

    std::unique_ptr<PoolState> state;
};

}  // namespace md3
