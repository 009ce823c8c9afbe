// Giving freed heap memory back to the system. The C library keeps what a program frees inside its
// allocation arenas (one per thread that allocated, the pool's workers included) for later use: after
// a large document's buffers are freed, hundreds of megabytes stay resident until the arenas are
// trimmed. Trimming walks every arena; it costs a few milliseconds per gigabyte held.
#pragma once

namespace ostrel {

/// Returns the free pages of every allocation arena to the system (glibc's malloc_trim); does
/// nothing with another C library. Never fails. Best called off the main thread.
void releaseFreeHeapMemory() noexcept;

}  // namespace ostrel
