// A small fixed pool of workers over a bounded ring of tasks, whose results
// are taken in the order the tasks were queued, whichever worker finished
// first. It knows nothing of what a task is: the owner keeps the tasks and
// their results in slots of its own, numbered as the pool's, and gives the
// pool one function that runs the task in a slot on a worker.
//
// Two versions, each written whole: with threads (ordered_pool_threads.cpp)
// and, where the C++ library has none, on the caller's thread
// (ordered_pool_single.cpp), where each task runs as it is queued.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

namespace md3 {

struct PoolTasks {
    // Runs the task in `slot` on worker `worker` (0 .. workers - 1): each
    // worker runs one task at a time, so state kept per worker needs no lock.
    // An exception it throws is carried to the take() of that slot.
    std::function<void(std::size_t slot, unsigned worker)> run;
    // The memory the task in `slot` takes while it runs: a worker whose task
    // would take the tasks running together past the pool's budget waits
    // for the others; a task larger than the whole budget runs alone. Null:
    // every task costs nothing. It is asked on a worker's thread, where an
    // exception would end the process: it must not throw.
    std::function<std::uint64_t(std::size_t slot)> cost;
};

struct PoolSettings {
    unsigned workers = 1;            // at least one; as many as the system will start
    std::size_t slotsPerWorker = 4;  // the ring holds this many tasks per worker
    std::uint64_t memoryBudget = 0;  // 0: no budget
};

struct OrderedPoolState;

struct OrderedPool {
    OrderedPool(const PoolSettings& settings, PoolTasks tasks);
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;
    // Waits for the tasks being run; those queued and not begun are dropped.
    ~OrderedPool();

    // The number of slots in the ring; the owner keeps as many.
    std::size_t slots() const;
    // The number of workers started (at least one: without threads, or when
    // none could be started, the caller's thread is the worker).
    unsigned workers() const;
    // Whether the ring is full: the oldest result must be taken before
    // another task can be queued.
    bool full() const;
    // The slot the next task goes into, for the owner to fill before submit().
    // The ring must not be full.
    std::size_t next_slot() const;
    // Queues the task the owner has put into next_slot().
    void submit();
    // Whether some task queued has not been taken yet.
    bool pending() const;
    // Whether the oldest task not taken has run, so that take() returns at once.
    bool ready() const;
    // Waits until the oldest task not taken has run and gives its slot back
    // to the owner, to move the result out of; the slot may be filled again
    // after the next submit at the earliest. Rethrows what the task threw.
    // There must be one pending.
    std::size_t take();

    std::unique_ptr<OrderedPoolState> state;
};

// The number of workers a pool uses unless told otherwise: one per core, or
// 1 where there are no threads.
unsigned default_workers();

}  // namespace md3
