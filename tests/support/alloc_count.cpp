#include "tests/support/alloc_count.h"

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(_WIN32)
#include <malloc.h>  // _aligned_malloc
#endif

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define ROLLMOOT_SANITIZED_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ROLLMOOT_SANITIZED_HEAP 1
#endif

namespace {

// Trivial thread_locals of the executable: reading them never allocates, even in malloc.
thread_local bool Counting = false;
thread_local alloc_count::Counts Seen;

}  // namespace

// A sanitizer owns the heap; nothing is replaced then, and nothing is counted.
#if !defined(ROLLMOOT_SANITIZED_HEAP)

#if defined(__GLIBC__)
// glibc's own entry points, so that the replacements below can pass every call on.
extern "C" void* __libc_malloc(std::size_t size) noexcept;
extern "C" void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
extern "C" void* __libc_realloc(void* block, std::size_t size) noexcept;

// Defined in the executable, these take the place of libc's for every module loaded,
// the host library included. The build hides symbols by default; clang applies that to
// these too, and a hidden malloc stands in for nobody.
#define ROLLMOOT_INTERPOSE __attribute__((visibility("default")))
extern "C" ROLLMOOT_INTERPOSE void* malloc(std::size_t size) noexcept {
  if (Counting) ++Seen.Mallocs;
  return __libc_malloc(size);
}
extern "C" ROLLMOOT_INTERPOSE void* calloc(std::size_t count, std::size_t size) noexcept {
  if (Counting) ++Seen.Mallocs;
  return __libc_calloc(count, size);
}
extern "C" ROLLMOOT_INTERPOSE void* realloc(void* block, std::size_t size) noexcept {
  if (Counting) ++Seen.Mallocs;
  return __libc_realloc(block, size);
}
#define ROLLMOOT_RAW_MALLOC __libc_malloc
#else
#define ROLLMOOT_RAW_MALLOC std::malloc
#endif

namespace {

void* CountedNew(std::size_t size) {
  if (Counting) ++Seen.News;
  return ROLLMOOT_RAW_MALLOC(size == 0 ? 1 : size);  // not counted again as a malloc
}

void* CountedAlignedNew(std::size_t size, std::align_val_t alignment) {
  if (Counting) ++Seen.News;
  const auto align = static_cast<std::size_t>(alignment);
#if defined(_WIN32)
  return _aligned_malloc(size == 0 ? 1 : size, align);
#else
  return std::aligned_alloc(align, (size + align - 1) / align * align);
#endif
}

// Windows' aligned blocks go back through their own free.
void FreeAligned(void* block) {
#if defined(_WIN32)
  _aligned_free(block);
#else
  std::free(block);
#endif
}

}  // namespace

// With both sides replaced, operator new and free are a matching pair; GCC's check cannot
// see that once the deletes below are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  if (void* block = CountedNew(size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return CountedNew(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return CountedNew(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  if (void* block = CountedAlignedNew(size, alignment)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return operator new(size, alignment);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
  FreeAligned(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
  FreeAligned(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
  FreeAligned(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
  FreeAligned(block);
}

#endif  // !ROLLMOOT_SANITIZED_HEAP

namespace alloc_count {

bool CountsHeap() {
#if defined(ROLLMOOT_SANITIZED_HEAP)
  return false;
#else
  return true;
#endif
}

bool CountsMallocs() {
#if defined(__GLIBC__) && !defined(ROLLMOOT_SANITIZED_HEAP)
  return true;
#else
  return false;
#endif
}

Window::Window(Counts& into) : into_(into), start_(Seen) {
  Counting = true;
}

Window::~Window() {
  Counting = false;
  into_.News += Seen.News - start_.News;
  into_.Mallocs += Seen.Mallocs - start_.Mallocs;
}

}  // namespace alloc_count
