// The pool without threads: each task runs on the caller's thread as it is
// queued, and take() gives the slots back in the same order.
#include <algorithm>
#include <utility>
#include <vector>

#include "ordered_pool.hpp"

namespace md3 {

struct OrderedPoolState {
    PoolTasks tasks;
    std::vector<std::exception_ptr> thrown;  // per slot: what its task threw
    std::uint64_t oldest = 0;                // the first task not taken
    std::uint64_t end = 0;                   // one past the last task queued

    std::size_t slot(std::uint64_t n) const { return static_cast<std::size_t>(n % thrown.size()); }
};

unsigned default_workers() { return 1; }

OrderedPool::OrderedPool(const PoolSettings& settings, PoolTasks tasks)
    : state(std::make_unique<OrderedPoolState>()) {
    state->tasks = std::move(tasks);
    // As large a ring as the threaded version's, so that a run queues alike.
    const std::size_t workers = std::max(settings.workers, 1u);
    state->thrown.assign(std::max<std::size_t>(settings.slotsPerWorker, 1) * workers, nullptr);
}

OrderedPool::~OrderedPool() = default;

std::size_t OrderedPool::slots() const { return state->thrown.size(); }

unsigned OrderedPool::workers() const { return 1; }

bool OrderedPool::full() const { return state->end - state->oldest == state->thrown.size(); }

std::size_t OrderedPool::next_slot() const { return state->slot(state->end); }

void OrderedPool::submit() {
    const std::size_t slot = state->slot(state->end++);
    state->thrown[slot] = nullptr;
    try {
        state->tasks.run(slot, 0);
    } catch (...) {
        state->thrown[slot] = std::current_exception();
    }
}

bool OrderedPool::pending() const { return state->end > state->oldest; }

bool OrderedPool::ready() const { return pending(); }

std::size_t OrderedPool::take() {
    const std::size_t slot = state->slot(state->oldest++);
    if (std::exception_ptr thrown = std::exchange(state->thrown[slot], nullptr))
        std::rethrow_exception(thrown);
    return slot;
}

}  // namespace md3
