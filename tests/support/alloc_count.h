// Counts heap requests made on this thread while a Window is open: every global
// operator new, and (with glibc) every malloc, calloc and realloc of the whole process,
// host library included. The executable that links alloc_count.cpp replaces them.
#pragma once

#include <cstdint>

namespace alloc_count {

struct Counts {
  std::uint64_t News = 0;     // global operator new, any form
  std::uint64_t Mallocs = 0;  // malloc, calloc, realloc (0 where they cannot be counted)
};

// Whether heap requests are seen at all: not where a sanitizer owns the heap.
bool CountsHeap();
// Whether malloc-family calls are seen too (glibc only).
bool CountsMallocs();

// Adds what happens between its construction and destruction to `into`.
class Window {
 public:
  explicit Window(Counts& into);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

 private:
  Counts& into_;
  Counts start_;
};

}  // namespace alloc_count
