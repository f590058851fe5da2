#pragma once
// The engine's memory wrappers. Every block gets 32 bytes of slack; when the
// system has no memory left the engine shows "メモリ容量が不足しています。処理を
// 中断します。" (caption "malloc" or "realloc") and stops the process with status
// 255. This is the only out-of-memory path: no other code recovers from it.

#include <cstddef>

namespace tavelo::resources {

void* mem_alloc(size_t size);
void* mem_realloc(void* block, size_t size);
void mem_free(void* block);

// Routes failed operator new allocations (std::vector, std::string...) to the
// same message and stop. Installed once by main() and by test main.
void install_out_of_memory_handler();

// Fixes the C library's heap thresholds so that freed memory stays with the
// process (where the library adjusts them as it goes: glibc). Called once by
// the desktop's main().
void fix_heap_thresholds();

}  // namespace tavelo::resources
