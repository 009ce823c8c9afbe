// Data-parallel loops over index ranges on a small shared pool of worker threads.
//
// `parallelFor` cuts [0, count) into consecutive chunks and runs the body on each chunk, on the
// calling thread and the pool's workers, returning when every chunk is done. Callers keep results
// independent of the thread count by computing every element with the same arithmetic whichever chunk
// it falls in (chunk-local scratch is fine; sums across chunks are not). Loops may run at the same time
// from several threads, and from inside a body: they share the pool's workers, and each caller works on
// its own loop until it is done.
#pragma once

#include <cstddef>
#include <functional>

namespace ostrel {

/// Calls body(begin, end) for consecutive chunks covering [0, count), each at least `minChunk` long
/// (except the last), spread over the pool's threads. Nothing runs when count is 0. An exception thrown
/// by a body is rethrown here once every started chunk has finished.
void parallelFor(std::size_t count, std::size_t minChunk, const std::function<void(std::size_t, std::size_t)>& body);

/// The bands a loop over `rows` rows of an image splits them into: about four per thread, each of
/// at least eight rows; one band for fewer rows, none for none. A small image's loops then run on the
/// caller alone instead of starting and waking the pool's threads for a few rows each.
[[nodiscard]] std::size_t rowBandCount(std::size_t rows) noexcept;

/// Threads a loop may use, the caller included: std::thread::hardware_concurrency (at least 1, at most
/// 64) unless set by setParallelThreadCount.
[[nodiscard]] int parallelThreadCount() noexcept;

/// Sets the number of threads loops use (1 = everything on the caller); 0 restores the default. Meant
/// for tests and benchmarks; call it while no loop is running.
void setParallelThreadCount(int count);

/// Ends the pool's worker threads once the loops running now have finished; the next loop starts them
/// again. For a process that is about to exit with no loop left to run (the command line), so that
/// nothing of the pool is running while the process's exit handlers look at its threads.
void endParallelWorkers();

}  // namespace ostrel
