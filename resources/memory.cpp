// Memory wrappers and the out-of-memory stop.

#include "resources/memory.h"

#include <cstdlib>
#include <new>

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

}  // namespace tavelo::resources
