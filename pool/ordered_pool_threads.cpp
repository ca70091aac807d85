// The pool with threads: workers take tasks from the ring in the order they
// were queued and mark each slot done; the caller takes the slots in the same
// order.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "ordered_pool.hpp"

namespace md3 {

struct OrderedPoolState {
    PoolTasks tasks;
    std::uint64_t memoryBudget = 0;
    std::vector<char> done;                  // per slot: its task has run
    std::vector<std::exception_ptr> thrown;  // per slot: what its task threw
    std::uint64_t oldest = 0;                // the first task not taken
    std::uint64_t next = 0;                  // the first task no worker has begun
    std::uint64_t end = 0;                   // one past the last task queued
    std::uint64_t inFlight = 0;              // the cost of the tasks running
    bool stopping = false;
    std::mutex mutex;
    std::condition_variable work;      // a task was queued, or the pool is stopping
    std::condition_variable finished;  // a task has run, or the pool is stopping
    std::vector<std::thread> threads;

    std::size_t slot(std::uint64_t n) const { return static_cast<std::size_t>(n % done.size()); }
};

namespace {

std::uint64_t cost_of(const OrderedPoolState& pool, std::size_t slot) {
    return pool.tasks.cost ? pool.tasks.cost(slot) : 0;
}

// Runs one task outside the lock, keeping what it throws for take().
void run_unlocked(OrderedPoolState& pool, std::unique_lock<std::mutex>& lock, std::size_t slot,
                  unsigned worker) {
    lock.unlock();
    std::exception_ptr thrown;
    try {
        pool.tasks.run(slot, worker);
    } catch (...) {
        thrown = std::current_exception();
    }
    lock.lock();
    pool.thrown[slot] = thrown;
}

void work_on(OrderedPoolState& pool, unsigned worker) {
    std::unique_lock lock(pool.mutex);
    for (;;) {
        pool.work.wait(lock, [&] { return pool.stopping || pool.next < pool.end; });
        if (pool.stopping) return;
        const std::size_t slot = pool.slot(pool.next++);
        // Tasks are begun in order; a large one waits here for room while
        // the others go on with the tasks after it. The ring is bounded, so
        // the others run out of work and give back theirs.
        const std::uint64_t cost = pool.memoryBudget ? cost_of(pool, slot) : 0;
        pool.finished.wait(lock, [&] {
            return pool.stopping || pool.inFlight == 0 || pool.inFlight + cost <= pool.memoryBudget;
        });
        if (pool.stopping) return;
        pool.inFlight += cost;
        // The slot is this worker's alone until it is marked done: the caller
        // neither reuses nor takes a slot before then.
        run_unlocked(pool, lock, slot, worker);
        pool.inFlight -= cost;
        pool.done[slot] = 1;
        pool.finished.notify_all();
    }
}

}  // namespace

unsigned default_workers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

OrderedPool::OrderedPool(const PoolSettings& settings, PoolTasks tasks)
    : state(std::make_unique<OrderedPoolState>()) {
    OrderedPoolState& pool = *state;
    const unsigned workers = settings.workers > 0 ? settings.workers : 1;
    pool.tasks = std::move(tasks);
    pool.memoryBudget = settings.memoryBudget;
    pool.done.assign(std::max<std::size_t>(settings.slotsPerWorker, 1) * workers, 0);
    pool.thrown.assign(pool.done.size(), nullptr);
    for (unsigned w = 0; w < workers; ++w) {
        try {
            pool.threads.emplace_back(work_on, std::ref(pool), w);
        } catch (const std::system_error&) {
            break;  // fewer workers, or none: then the caller runs each task
        }
    }
}

OrderedPool::~OrderedPool() {
    OrderedPoolState& pool = *state;
    {
        std::lock_guard lock(pool.mutex);
        pool.stopping = true;
    }
    pool.work.notify_all();
    pool.finished.notify_all();
    for (std::thread& thread : pool.threads) thread.join();
}

std::size_t OrderedPool::slots() const { return state->done.size(); }

unsigned OrderedPool::workers() const {
    return state->threads.empty() ? 1 : static_cast<unsigned>(state->threads.size());
}

bool OrderedPool::full() const {
    std::lock_guard lock(state->mutex);
    return state->end - state->oldest == state->done.size();
}

std::size_t OrderedPool::next_slot() const {
    std::lock_guard lock(state->mutex);
    return state->slot(state->end);
}

void OrderedPool::submit() {
    OrderedPoolState& pool = *state;
    std::unique_lock lock(pool.mutex);
    const std::size_t slot = pool.slot(pool.end++);
    pool.done[slot] = 0;
    pool.thrown[slot] = nullptr;
    if (!pool.threads.empty()) {
        lock.unlock();
        pool.work.notify_one();
        return;
    }
    // No thread could be started: the task runs here, begun under the lock.
    ++pool.next;
    run_unlocked(pool, lock, slot, 0);
    pool.done[slot] = 1;
}

bool OrderedPool::pending() const {
    std::lock_guard lock(state->mutex);
    return state->end > state->oldest;
}

bool OrderedPool::ready() const {
    std::lock_guard lock(state->mutex);
    return state->end > state->oldest && state->done[state->slot(state->oldest)];
}

std::size_t OrderedPool::take() {
    OrderedPoolState& pool = *state;
    std::unique_lock lock(pool.mutex);
    const std::size_t slot = pool.slot(pool.oldest);
    pool.finished.wait(lock, [&] { return pool.done[slot] != 0; });
    ++pool.oldest;
    pool.done[slot] = 0;
    if (std::exception_ptr thrown = std::exchange(pool.thrown[slot], nullptr))
        std::rethrow_exception(thrown);
    return slot;
}

}  // namespace md3
