// The check jobs in the ordered pool: each slot holds a job and its report,
// each worker its buffers.
#include "check_pool.hpp"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "memory_limit.hpp"

namespace md3 {

namespace {

// Jobs in the ring per worker: enough that a worker never waits while the
// caller prints or opens the next archive, few enough that only a handful of
// reports wait to be printed.
constexpr std::size_t kSlotsPerWorker = 4;

// The memory the models being checked at once may take together, by
// job_memory: a worker whose model would take the total past it waits for
// the others to finish. A model larger than the whole budget is checked
// alone.
constexpr std::uint64_t kMemoryBudget = std::uint64_t{512} << 20;

// The budget, within a limit on the process's address space where the
// system sets one: half of it, the rest left to the program, its threads'
// stacks and what the caller holds. Otherwise a model checked beside a
// large one could find no memory, where alone it would.
std::uint64_t memory_budget() {
    const std::uint64_t limit = address_space_limit();
    return limit > 0 ? std::min(kMemoryBudget, limit / 2) : kMemoryBudget;
}

struct Slot {
    CheckJob job;
    ModelReport report;
    // The check found no memory even to say so (the report of a shortage
    // takes memory too): said by take(), on the caller's thread.
    bool shortOfMemory = false;
};

}  // namespace

struct PoolState {
    PoolState(unsigned workerCount, const CheckSettings& checkSettings)
        : settings(checkSettings),
          workers(workerCount),
          slots(kSlotsPerWorker * workerCount),
          pool({.workers = workerCount,
                .slotsPerWorker = kSlotsPerWorker,
                .memoryBudget = memory_budget()},
               {.run =
                    [this](std::size_t s, unsigned w) {
                        slots[s].shortOfMemory = false;
                        try {
                            slots[s].report = run_job(slots[s].job, workers[w], settings);
                        } catch (const std::bad_alloc&) {
                            slots[s].shortOfMemory = true;
                        }
                    },
                .cost = [this](std::size_t s) { return job_memory(slots[s].job); }}) {}

    CheckSettings settings;
    std::vector<CheckWorker> workers;
    std::vector<Slot> slots;  // as many as the pool's, numbered as its
    OrderedPool pool;         // last: its workers stop before the slots go
};

CheckPool::CheckPool(unsigned workers, const CheckSettings& settings)
    : state(std::make_unique<PoolState>(workers > 0 ? workers : 1, settings)) {}

CheckPool::~CheckPool() = default;

bool CheckPool::full() const { return state->pool.full(); }

bool CheckPool::pending() const { return state->pool.pending(); }

bool CheckPool::ready() const { return state->pool.ready(); }

void CheckPool::submit(CheckJob job) {
    Slot& slot = state->slots[state->pool.next_slot()];
    slot.job = std::move(job);
    slot.report = ModelReport();
    state->pool.submit();
}

CheckResult CheckPool::take() {
    Slot& slot = state->slots[state->pool.take()];
    CheckResult result{std::move(slot.job), std::move(slot.report)};
    slot.job = CheckJob();  // lets go of the archive
    if (slot.shortOfMemory) {
        result.report = ModelReport();
        result.report.verdict = Verdict::unreadable;
        result.report.error = kShortOfMemory;
    }
    // A model that found no memory while others were checked beside it is
    // checked once more, here: the models before it are done by now, and
    // what they held is free again, so that a shortage costs only the model
    // that needs the memory, whatever the number of workers.
    // With no memory even for the second worker's buffers, the first
    // answer stands.
    if (state->workers.size() > 1 && ran_short_of_memory(result.report)) {
        try {
            CheckWorker alone;
            result.report = run_job(result.job, alone, state->settings);
        } catch (const std::bad_alloc&) {
        }
    }
    return result;
}

}  // namespace md3
