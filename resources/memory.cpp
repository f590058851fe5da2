// Memory wrappers and the out-of-memory stop.

#include "resources/memory.h"

#include <cstdlib>
#include <new>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/fatal.h"

namespace tavelo::resources {
namespace {

constexpr size_t kSlack = 32;

[[noreturn]] void out_of_memory(const char* caption) {
  platform::stop_for_lack_of_memory(caption, "メモリ容量が不足しています。処理を中断します。");
}

void new_handler() { out_of_memory("malloc"); }

}  // namespace

void* mem_alloc(size_t size) {
  void* block = std::malloc(size + kSlack);
  if (!block) out_of_memory("malloc");
  return block;
}

void* mem_realloc(void* block, size_t size) {
  void* grown = std::realloc(block, size + kSlack);
  if (!grown) out_of_memory("realloc");
  return grown;
}

void mem_free(void* block) { std::free(block); }

void install_out_of_memory_handler() { std::set_new_handler(new_handler); }

void fix_heap_thresholds() {
#if defined(__GLIBC__)
  // glibc maps large blocks by themselves, gives the top of its heap back
  // to the system when it frees, and moves both thresholds as blocks come
  // and go. A script that builds a long text a piece at a time frees a block
  // and asks for one a little larger at every step: with the moving
  // thresholds every step returned the pages and faulted them in again (a
  // 240 000-character string built one character at a time took 5.4 s; with
  // fixed thresholds 0.4 s, the peak 3 MB higher). Blocks up to 64 MB (any
  // picture or sound of a game) come from the heap, and up to 128 MB of
  // freed memory stays with the process for the next blocks.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

}  // namespace tavelo::resources
