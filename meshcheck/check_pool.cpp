// The pool: workers take jobs from a ring in the order they were queued and
// leave each report in its job's slot; the caller takes the slots in the same
// order, so the output does not depend on which worker finished first.
#include "check_pool.hpp"

#include <cstdint>
#include <vector>

#if MESHCHECK_THREADS
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace {

// Jobs in the ring per worker: enough that a worker never waits while the
// caller prints or opens the next archive, few enough that only a handful of
// reports wait to be printed.
constexpr std::uint64_t kSlotsPerWorker = 4;

// The memory the models being checked at once may take together, by
// job_memory: a worker whose model would take the total past it waits for
// the others to finish. A model larger than the whole budget is checked
// alone.
constexpr std::uint64_t kMemoryBudget = std::uint64_t{512} << 20;

struct Slot {
    CheckJob job;
    ModelReport report;
    bool done = false;
};

}  // namespace

struct PoolState {
    PoolState(unsigned workerCount, const EngineProfile& profile, const GameReferences* references,
              std::int32_t frame)
        : engine(profile),
          game(references),
          pictureFrame(frame),
          slots(kSlotsPerWorker * workerCount),
          workers(workerCount) {}

    const EngineProfile& engine;
    const GameReferences* game;
    std::int32_t pictureFrame;
    std::vector<Slot> slots;  // a ring: job number n lives in slots[n % size]
    std::vector<CheckWorker> workers;
    std::uint64_t oldest = 0;  // the first job not taken
    std::uint64_t next = 0;    // the first job no worker has begun
    std::uint64_t end = 0;     // one past the last job queued

    Slot& slot(std::uint64_t n) { return slots[n % slots.size()]; }

#if MESHCHECK_THREADS
    std::mutex mutex;
    std::condition_variable work;  // a job was queued, or the pool is stopping
    std::condition_variable done;  // a job was checked, or the pool is stopping
    std::uint64_t inFlight = 0;    // job_memory of the jobs being checked
    bool stopping = false;
    std::vector<std::thread> threads;
#endif
};

namespace {

#if MESHCHECK_THREADS
void work_on(PoolState& pool, CheckWorker& worker) {
    std::unique_lock lock(pool.mutex);
    for (;;) {
        pool.work.wait(lock, [&] { return pool.stopping || pool.next < pool.end; });
        if (pool.stopping) return;
        Slot& slot = pool.slot(pool.next++);
        // Jobs are begun in order; a large one waits here for room while
        // the others go on with the jobs after it. The ring is bounded, so
        // the others run out of work and give back theirs.
        const std::uint64_t cost = job_memory(slot.job);
        pool.done.wait(lock, [&] {
            return pool.stopping || pool.inFlight == 0 || pool.inFlight + cost <= kMemoryBudget;
        });
        if (pool.stopping) return;
        pool.inFlight += cost;
        lock.unlock();
        // The slot is this worker's alone until it is marked done: the caller
        // neither reuses nor takes a slot before then.
        ModelReport report = run_job(slot.job, worker, pool.engine, pool.game, pool.pictureFrame);
        lock.lock();
        pool.inFlight -= cost;
        slot.report = std::move(report);
        slot.done = true;
        pool.done.notify_all();
    }
}
#endif

}  // namespace

unsigned default_workers() {
#if MESHCHECK_THREADS
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
#else
    return 1;
#endif
}

CheckPool::CheckPool(unsigned workers, const EngineProfile& engine, const GameReferences* game,
                     std::int32_t pictureFrame)
    : state(std::make_unique<PoolState>(workers > 0 ? workers : 1, engine, game, pictureFrame)) {
#if MESHCHECK_THREADS
    PoolState& pool = *state;
    for (CheckWorker& worker : pool.workers) {
        try {
            pool.threads.emplace_back(work_on, std::ref(pool), std::ref(worker));
        } catch (const std::system_error&) {
            break;  // fewer workers, or none: then the caller checks each job
        }
    }
#endif
}

CheckPool::~CheckPool() {
#if MESHCHECK_THREADS
    PoolState& pool = *state;
    {
        std::lock_guard lock(pool.mutex);
        pool.stopping = true;
    }
    pool.work.notify_all();
    pool.done.notify_all();
    for (std::thread& thread : pool.threads) thread.join();
#endif
}

bool CheckPool::full() const {
    const PoolState& pool = *state;
#if MESHCHECK_THREADS
    std::lock_guard lock(state->mutex);
#endif
    return pool.end - pool.oldest == pool.slots.size();
}

bool CheckPool::pending() const {
    const PoolState& pool = *state;
#if MESHCHECK_THREADS
    std::lock_guard lock(state->mutex);
#endif
    return pool.end > pool.oldest;
}

bool CheckPool::ready() const {
    PoolState& pool = *state;
#if MESHCHECK_THREADS
    std::lock_guard lock(pool.mutex);
#endif
    return pool.end > pool.oldest && pool.slot(pool.oldest).done;
}

void CheckPool::submit(CheckJob job) {
    PoolState& pool = *state;
    bool inline_check = true;
    {
#if MESHCHECK_THREADS
        std::lock_guard lock(pool.mutex);
        inline_check = pool.threads.empty();
#endif
        Slot& slot = pool.slot(pool.end++);
        slot.job = std::move(job);
        slot.report = ModelReport();
        slot.done = false;
        if (inline_check) {
            // Nobody else could take it: begun here, under the lock there is.
            ++pool.next;
        }
    }
    if (inline_check) {
        Slot& slot = pool.slot(pool.end - 1);
        slot.report =
            run_job(slot.job, pool.workers.front(), pool.engine, pool.game, pool.pictureFrame);
        slot.done = true;
        return;
    }
#if MESHCHECK_THREADS
    pool.work.notify_one();
#endif
}

CheckResult CheckPool::take() {
    PoolState& pool = *state;
#if MESHCHECK_THREADS
    std::unique_lock lock(pool.mutex);
    pool.done.wait(lock, [&] { return pool.slot(pool.oldest).done; });
#endif
    Slot& slot = pool.slot(pool.oldest++);
    CheckResult result{std::move(slot.job), std::move(slot.report)};
    slot.job = CheckJob();  // lets go of the archive
    slot.done = false;
    return result;
}
