// Checking models on several cores while the report keeps the order of one:
// a small fixed pool of workers over a bounded ring of jobs, whose results
// are taken in the order the jobs were queued.
//
// Where the C++ library has no threads the pool has no worker: each job is
// checked by the caller as it is queued, through the same code.
#pragma once

#include <memory>

#include "check_jobs.hpp"

// The number of workers a run uses unless told otherwise: one per core, or
// 1 where there are no threads.
unsigned default_workers();

struct CheckResult {
    CheckJob job;
    ModelReport report;
};

struct PoolState;

struct CheckPool {
    // `workers` threads (at least one; as many as the system will start),
    // each with its own buffers, checking for `engine`, which must outlive
    // the pool.
    // With `game` (which must outlive the pool too), models are also checked
    // against it.
    // With a `pictureFrame` of 0 or more, each report carries the picture of
    // that frame.
    CheckPool(unsigned workers, const EngineProfile& engine, const GameReferences* game = nullptr,
              std::int32_t pictureFrame = -1);
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
