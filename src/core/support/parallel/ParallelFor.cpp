// A fixed set of worker threads serving every open loop. A loop is posted to the pool's list of open
// loops; its caller and any worker that joins it take chunks through the loop's atomic index, so a
// loop costs one wake-up and one join however many chunks it has. Loops from several callers, or from
// inside a body, are open at the same time and share the workers: a worker looking for work joins the
// open loop with the fewest helpers. A loop leaves the list when its last chunk is handed out; its
// caller then waits for the workers still inside it, and only then returns.
//
// Waking a sleeping thread through the kernel takes tens of microseconds, and a loop waits for every
// helper to leave it, so a run of short loops (a thinning round is two loops per sub-iteration) would
// spend most of its time waking threads. Each worker, and a caller waiting for its helpers, first
// polls for a short while (kSpinTime) and only then sleeps: loops that follow each other closely find
// the workers awake.
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
// Rows below which rowBandCount makes no more bands.
constexpr std::size_t kMinRowsPerBand = 8;
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

using Body = std::function<void(std::size_t, std::size_t)>;

// One running parallelFor: its chunks, the index of the next one to hand out, and the workers inside.
// Lives on its caller's stack; the caller leaves only once no worker is inside.
struct Loop {
    const Body* body = nullptr;
    std::size_t count = 0;
    std::size_t chunkSize = 0;
    std::size_t chunks = 0;
    std::atomic<std::size_t> next{0};
    std::atomic<int> helpers{0};  // workers that joined and have not left
    std::exception_ptr error;     // the first failure; guarded by the pool's mutex

    [[nodiscard]] bool exhausted() const noexcept { return next.load(std::memory_order_relaxed) >= chunks; }
};

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

    // Runs the loop's chunks on the calling thread and whichever workers join it; returns when all are
    // done, rethrowing the first exception a body threw.
    void run(Loop& loop) {
        {
            std::lock_guard lock(mutex_);
            open_.push_back(&loop);
            openCount_.store(open_.size(), std::memory_order_release);
        }
        wake_.notify_all();
        runChunks(loop);
        // Under the mutex: every worker that joined the loop did so while it was open, so its count
        // is seen here, and none joins after.
        close(loop);
        const auto left = [&loop] { return loop.helpers.load(std::memory_order_acquire) == 0; };
        if (!spinUntil(left)) {
            std::unique_lock lock(mutex_);
            left_.wait(lock, left);
        }
        std::exception_ptr error;
        {
            std::lock_guard lock(mutex_);
            error = std::exchange(loop.error, nullptr);
        }
        if (error) std::rethrow_exception(error);
    }

private:
    void runChunks(Loop& loop) {
        while (true) {
            const std::size_t chunk = loop.next.fetch_add(1, std::memory_order_relaxed);
            if (chunk >= loop.chunks) return;
            // The last chunk handed out: no one else needs to find this loop.
            if (chunk + 1 == loop.chunks) close(loop);
            const std::size_t begin = chunk * loop.chunkSize;
            const std::size_t end = std::min(begin + loop.chunkSize, loop.count);
            try {
                (*loop.body)(begin, end);
            } catch (...) {
                std::lock_guard lock(mutex_);
                if (!loop.error) loop.error = std::current_exception();
            }
        }
    }

    // Takes the loop off the open list once every chunk is handed out (nothing if it is off already).
    void close(Loop& loop) {
        std::lock_guard lock(mutex_);
        const auto found = std::find(open_.begin(), open_.end(), &loop);
        if (found != open_.end()) open_.erase(found);
        openCount_.store(open_.size(), std::memory_order_release);
    }

    // The open loop with chunks left and the fewest helpers, joined; none when there is no such loop.
    // Called with the mutex held.
    Loop* join() {
        Loop* best = nullptr;
        for (Loop* loop : open_) {
            if (loop->exhausted()) continue;
            const int helpers = loop->helpers.load(std::memory_order_relaxed);
            if (!best || helpers < best->helpers.load(std::memory_order_relaxed)) best = loop;
        }
        if (best) best->helpers.fetch_add(1, std::memory_order_relaxed);
        return best;
    }

    void workerLoop() {
        const auto called = [this] {
            return stopping_.load(std::memory_order_acquire) || openCount_.load(std::memory_order_acquire) > 0;
        };
        while (true) {
            if (!spinUntil(called)) {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, called);
            }
            Loop* loop = nullptr;
            {
                std::lock_guard lock(mutex_);
                if (stopping_.load(std::memory_order_acquire)) return;
                loop = join();
            }
            if (!loop) {
                // Every open loop's last chunk was just handed out; its taker closes it at once.
                relax();
                continue;
            }
            runChunks(*loop);
            // The last access to the loop: its caller may return as soon as this is seen.
            if (loop->helpers.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                // The caller may be asleep. Taking the mutex orders this with its check.
                std::lock_guard lock(mutex_);
                left_.notify_all();
            }
        }
    }

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable left_;
    std::vector<Loop*> open_;  // loops with chunks left to hand out; guarded by mutex_
    std::atomic<std::size_t> openCount_{0};
    std::atomic<bool> stopping_{false};
};

// The pool and its size. A loop holds the pool it started on until it ends, so a pool replaced by
// setParallelThreadCount is destroyed by its last loop.
//
// Never destroyed: a background computation may still be inside a loop when the process exits, and
// tearing the pool down under it would wait for that loop forever.
std::mutex& poolMutex = *new std::mutex;
int configuredThreads = 0;  // 0: default; guarded by poolMutex
std::shared_ptr<WorkerPool>& sharedPool = *new std::shared_ptr<WorkerPool>;
std::atomic<int> effectiveThreads{0};

int wantedThreads() noexcept { return configuredThreads > 0 ? configuredThreads : defaultThreadCount(); }

}  // namespace

int parallelThreadCount() noexcept {
    const int threads = effectiveThreads.load(std::memory_order_relaxed);
    return threads > 0 ? threads : defaultThreadCount();
}

std::size_t rowBandCount(std::size_t rows) noexcept {
    if (rows == 0) return 0;
    const auto most = static_cast<std::size_t>(parallelThreadCount()) * kChunksPerThread;
    return std::clamp<std::size_t>(rows / kMinRowsPerBand, 1, most);
}

void setParallelThreadCount(int count) {
    std::lock_guard lock(poolMutex);
    configuredThreads = std::clamp(count, 0, kMaxThreads);
    effectiveThreads.store(wantedThreads(), std::memory_order_relaxed);
    if (sharedPool && sharedPool->threads() != wantedThreads()) sharedPool.reset();
}

void endParallelWorkers() {
    std::shared_ptr<WorkerPool> pool;
    {
        std::lock_guard lock(poolMutex);
        pool = std::exchange(sharedPool, nullptr);
    }
    // Joined here, outside the lock, unless a running loop still holds the pool: then by that loop.
}

void parallelFor(std::size_t count, std::size_t minChunk, const Body& body) {
    if (count == 0) return;
    const std::size_t least = std::max<std::size_t>(minChunk, 1);
    std::shared_ptr<WorkerPool> pool;
    int threads = 1;
    std::size_t chunkSize = 0;
    std::size_t chunks = 0;
    {
        std::lock_guard lock(poolMutex);
        threads = wantedThreads();
        // Chunk size: about kChunksPerThread chunks per thread, never under `least`.
        const std::size_t wanted = static_cast<std::size_t>(threads) * kChunksPerThread;
        chunkSize = std::max(least, (count + wanted - 1) / wanted);
        chunks = (count + chunkSize - 1) / chunkSize;
        // The pool starts with the first loop that has work to share: a run whose loops are all one
        // chunk long (a tiny image) starts no thread.
        if (threads > 1 && chunks > 1) {
            if (!sharedPool) sharedPool = std::make_shared<WorkerPool>(threads);
            pool = sharedPool;
        }
    }
    if (!pool) {
        for (std::size_t begin = 0; begin < count; begin += chunkSize) body(begin, std::min(begin + chunkSize, count));
        return;
    }
    Loop loop;
    loop.body = &body;
    loop.count = count;
    loop.chunkSize = chunkSize;
    loop.chunks = chunks;
    pool->run(loop);
}

}  // namespace ostrel
