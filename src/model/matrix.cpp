#include "model/matrix.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace vireon::detail {

namespace {

// From this size on a block comes straight from the system as fresh zero
// pages, which cost nothing until they are touched; smaller ones come from
// the heap. (The heap's own large blocks would do the same only until the
// first one is freed, after which it keeps and clears them.)
constexpr std::size_t kPageBlockBytes = std::size_t{1} << 18;

// The address sanitizer watches heap blocks only: under it every block
// comes from the heap.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPageBlocks = false;
#else
constexpr bool kPageBlocks = true;
#endif

}  // namespace

void* AllocateZeroed(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  if (kPageBlocks && bytes >= kPageBlockBytes) {
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    return memory;
  }
  void* memory = std::calloc(bytes, 1);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void ReleaseZeroed(void* memory, std::size_t bytes) {
  if (memory == nullptr) return;
  if (kPageBlocks && bytes >= kPageBlockBytes) {
    munmap(memory, bytes);
  } else {
    std::free(memory);
  }
}

}  // namespace vireon::detail
