// A fixed set of worker threads woken per loop by a generation counter; chunks are handed out through
// an atomic index, so a loop costs one wake-up and one join however many chunks it has.
//
// Waking a sleeping thread through the kernel takes tens of microseconds, and a loop waits for every
// worker to check in, so a run of short loops (a thinning round is two loops per sub-iteration) would
// spend most of its time waking threads. After a loop each worker, and the caller while it waits for
// the workers, first polls for a short while (kSpinTime) and only then sleeps: loops that follow each
// other closely find the workers awake.
#include "core/support/parallel/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace ostrel {

namespace {

constexpr int kMaxThreads = 64;
// Chunks per thread: a few more than one evens out uneven chunk costs.
constexpr std::size_t kChunksPerThread = 4;
// How long a thread polls before it sleeps.
constexpr auto kSpinTime = std::chrono::microseconds(100);

// Asked once: the library reads a system file for it on every call.
int defaultThreadCount() noexcept {
    static const int count = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxThreads);
    return count;
}

inline void relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

// Polls `done` for up to kSpinTime; returns whether it became true.
template <class Predicate>
bool spinUntil(const Predicate& done) {
    const auto deadline = std::chrono::steady_clock::now() + kSpinTime;
    while (true) {
        for (int i = 0; i < 64; ++i) {
            if (done()) return true;
            relax();
        }
        if (std::chrono::steady_clock::now() >= deadline) return done();
    }
}

class WorkerPool {
public:
    explicit WorkerPool(int threads) {
        workers_.reserve(static_cast<std::size_t>(threads > 1 ? threads - 1 : 0));
        for (int i = 1; i < threads; ++i) workers_.emplace_back([this] { workerLoop(); });
    }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    ~WorkerPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_.store(true, std::memory_order_release);
        }
        wake_.notify_all();
        for (std::thread& worker : workers_) worker.join();
    }

    [[nodiscard]] int threads() const noexcept { return static_cast<int>(workers_.size()) + 1; }

    // Runs `chunks` chunks of `chunkSize` indexes (the last one cut at `count`) on every thread.
    void run(std::size_t count, std::size_t chunkSize, std::size_t chunks,
             const std::function<void(std::size_t, std::size_t)>& body) {
        // The loop's fields are published by the release increment of the generation; every worker
        // has checked in from the previous loop, so none reads them while they change.
        body_ = &body;
        count_ = count;
        chunkSize_ = chunkSize;
        chunks_ = chunks;
        next_.store(0, std::memory_order_relaxed);
        busyWorkers_.store(workers_.size(), std::memory_order_relaxed);
        {
            // Under the mutex, so a worker about to sleep either sees the new generation or is woken.
            std::lock_guard lock(mutex_);
            generation_.fetch_add(1, std::memory_order_release);
        }
        wake_.notify_all();
        runChunks();
        const auto joined = [this] { return busyWorkers_.load(std::memory_order_acquire) == 0; };
        if (!spinUntil(joined)) {
            std::unique_lock lock(mutex_);
            done_.wait(lock, joined);
        }
        body_ = nullptr;
        std::exception_ptr error;
        {
            std::lock_guard lock(mutex_);
            error = std::exchange(error_, nullptr);
        }
        if (error) std::rethrow_exception(error);
    }

private:
    void runChunks() {
        while (true) {
            const std::size_t chunk = next_.fetch_add(1, std::memory_order_relaxed);
            if (chunk >= chunks_) return;
            const std::size_t begin = chunk * chunkSize_;
            const std::size_t end = std::min(begin + chunkSize_, count_);
            try {
                (*body_)(begin, end);
            } catch (...) {
                std::lock_guard lock(mutex_);
                if (!error_) error_ = std::current_exception();
            }
        }
    }

    void workerLoop() {
        std::uint64_t seen = 0;
        const auto called = [&] {
            return stopping_.load(std::memory_order_acquire) || generation_.load(std::memory_order_acquire) != seen;
        };
        while (true) {
            if (!spinUntil(called)) {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, called);
            }
            if (stopping_.load(std::memory_order_acquire)) return;
            seen = generation_.load(std::memory_order_acquire);
            runChunks();
            if (busyWorkers_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                // The last one in: the caller may be asleep. Taking the mutex orders this with its check.
                std::lock_guard lock(mutex_);
                done_.notify_one();
            }
        }
    }

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    // The current loop; written before the generation changes, read by workers after.
    const std::function<void(std::size_t, std::size_t)>* body_ = nullptr;
    std::size_t count_ = 0;
    std::size_t chunkSize_ = 0;
    std::size_t chunks_ = 0;
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> busyWorkers_{0};
    std::exception_ptr error_;  // guarded by mutex_
    std::atomic<std::uint64_t> generation_{0};
    std::atomic<bool> stopping_{false};
};

// The pool and its size. `poolMutex` is held for the whole of a loop: a second loop that cannot take
// it (another thread's loop, or a loop inside a body) runs serially on its caller.
//
// Neither is ever destroyed: a background computation may still be inside a loop when the process
// exits, and tearing the pool down under it would wait for that loop forever.
std::mutex& poolMutex = *new std::mutex;
int configuredThreads = 0;  // 0: default
std::unique_ptr<WorkerPool>& sharedPool = *new std::unique_ptr<WorkerPool>;
std::atomic<int> effectiveThreads{0};

int wantedThreads() noexcept { return configuredThreads > 0 ? configuredThreads : defaultThreadCount(); }

}  // namespace

int parallelThreadCount() noexcept {
    const int threads = effectiveThreads.load(std::memory_order_relaxed);
    return threads > 0 ? threads : defaultThreadCount();
}

void setParallelThreadCount(int count) {
    std::lock_guard lock(poolMutex);
    configuredThreads = std::clamp(count, 0, kMaxThreads);
    effectiveThreads.store(wantedThreads(), std::memory_order_relaxed);
    if (sharedPool && sharedPool->threads() != wantedThreads()) sharedPool.reset();
}

void parallelFor(std::size_t count, std::size_t minChunk, const std::function<void(std::size_t, std::size_t)>& body) {
    if (count == 0) return;
    const std::size_t least = std::max<std::size_t>(minChunk, 1);
    std::unique_lock lock(poolMutex, std::try_to_lock);
    const int threads = lock.owns_lock() ? wantedThreads() : 1;
    // Chunk size: about kChunksPerThread chunks per thread, never under `least`.
    const std::size_t wanted = static_cast<std::size_t>(threads) * kChunksPerThread;
    const std::size_t chunkSize = std::max(least, (count + wanted - 1) / wanted);
    const std::size_t chunks = (count + chunkSize - 1) / chunkSize;
    if (threads <= 1 || chunks <= 1) {
        for (std::size_t begin = 0; begin < count; begin += chunkSize) body(begin, std::min(begin + chunkSize, count));
        return;
    }
    if (!sharedPool) sharedPool = std::make_unique<WorkerPool>(threads);
    sharedPool->run(count, chunkSize, chunks, body);
}

}  // namespace ostrel
