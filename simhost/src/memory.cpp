// The host allocator, with books: every block it hands out is recorded, so a test can
// demand that nothing is left outstanding and that nothing is freed twice.
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "block_table.h"
#include "state.h"

namespace simhost::detail {
namespace {

struct Books {
  std::mutex Lock;    // the console may be driven from a pipe thread; keep the books exact
  BlockTable Blocks;  // no allocation per block: see block_table.h
  MemoryStats Stats;
};

Books& GetBooks() {
  static Books* books = new Books;  // outlives every static that might still free
  return *books;
}

bool ShouldFail() {
  State& state = GetState();
  ++state.MallocCalls;
  return state.Faults.FailAllMallocs || state.MallocCalls == state.Faults.FailMallocAt;
}

}  // namespace

void* Malloc(std::uint64_t size, std::uint32_t alignment) {
  if (ShouldFail()) return nullptr;
  // malloc's own alignment serves every request the plugin may make; the count lets a test
  // see which alignment a fresh block was asked for.
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) return nullptr;
  Books& books = GetBooks();
  std::lock_guard guard(books.Lock);
  if (alignment != 0) ++books.Stats.AlignedMallocs;
  books.Blocks.Insert(block, size);
  ++books.Stats.Allocations;
  ++books.Stats.Blocks;
  books.Stats.Bytes += static_cast<std::int64_t>(size);
  return block;
}

void* Realloc(void* block, std::uint64_t size, std::uint32_t alignment) {
  if (block == nullptr) return Malloc(size, alignment);
  Books& books = GetBooks();
  std::lock_guard guard(books.Lock);
  const std::uint64_t* found = books.Blocks.Find(block);
  if (found == nullptr) {
    ++books.Stats.BadFrees;
    return nullptr;
  }
  const std::uint64_t oldSize = *found;
  // Out of the books before realloc: the old address must not be used once it may be gone.
  books.Blocks.Erase(block);
  void* moved = std::realloc(block, size == 0 ? 1 : size);
  if (moved == nullptr) {
    books.Blocks.Insert(block, oldSize);  // realloc failed: the old block still stands
    return nullptr;
  }
  books.Stats.Bytes += static_cast<std::int64_t>(size) - static_cast<std::int64_t>(oldSize);
  books.Blocks.Insert(moved, size);
  return moved;
}

void Free(void* block) {
  if (block == nullptr) return;
  Books& books = GetBooks();
  std::lock_guard guard(books.Lock);
  const std::uint64_t* found = books.Blocks.Find(block);
  if (found == nullptr) {
    ++books.Stats.BadFrees;  // recorded, never passed on: the process stays sound
    return;
  }
  books.Stats.Bytes -= static_cast<std::int64_t>(*found);
  --books.Stats.Blocks;
  ++books.Stats.Frees;
  books.Blocks.Erase(block);
  std::free(block);
}

void Assign(FString& target, WideStringView text) {
  const auto units = text.size() + 1;
  auto* block = static_cast<WideChar*>(Malloc(units * sizeof(WideChar), 0));
  if (block == nullptr) return;  // an allocator out of memory leaves the value empty
  std::memcpy(block, text.data(), text.size() * sizeof(WideChar));
  block[text.size()] = 0;
  target.Data = block;
  target.Num = static_cast<std::int32_t>(units);
  target.Max = static_cast<std::int32_t>(units);
}

}  // namespace simhost::detail

namespace simhost {

MemoryStats Memory() {
  detail::Books& books = detail::GetBooks();
  std::lock_guard guard(books.Lock);
  return books.Stats;
}

}  // namespace simhost

// Host constructors: the string owns a fresh copy in an FMemory block.
FString::FString(const char* text) {
  if (text == nullptr) return;
  WideString wide;
  for (const char* c = text; *c != 0; ++c) {
    wide.push_back(static_cast<WideChar>(static_cast<unsigned char>(*c)));
  }
  simhost::detail::Assign(*this, wide);
}

FString::FString(const WideChar* text) {
  if (text == nullptr) return;
  simhost::detail::Assign(*this, WideStringView(text));
}
