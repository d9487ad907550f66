// The allocator's books: block address -> size, in one open-addressing table (linear
// probing, backward-shift erase). Recording a block allocates nothing; only growing the
// table does, from the C heap, and then rarely. A map with a node per block would put an
// `operator new` into every host allocation, which the plugin's allocation tests and the
// benchmarks would have to tell apart from the plugin's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace simhost::detail {

class BlockTable {
 public:
  BlockTable() = default;
  BlockTable(const BlockTable&) = delete;
  BlockTable& operator=(const BlockTable&) = delete;
  ~BlockTable() { std::free(slots_); }

  // The size recorded for `block`, or null when the table does not hold it.
  std::uint64_t* Find(const void* block) {
    if (slots_ == nullptr) return nullptr;
    for (std::size_t i = Home(block);; i = (i + 1) & mask_) {
      if (slots_[i].Block == block) return &slots_[i].Size;
      if (slots_[i].Block == nullptr) return nullptr;
    }
  }

  // `block` must not be held yet.
  void Insert(const void* block, std::uint64_t size) {
    if ((used_ + 1) * 2 > capacity()) Grow();
    Place(block, size);
    ++used_;
  }

  // Removes `block`, which must be held; its probe chain is closed up behind it.
  void Erase(const void* block) {
    std::size_t hole = Home(block);
    while (slots_[hole].Block != block) hole = (hole + 1) & mask_;
    for (std::size_t next = (hole + 1) & mask_; slots_[next].Block != nullptr;
         next = (next + 1) & mask_) {
      // An entry may move back into the hole only if the hole lies on its probe path.
      const std::size_t home = Home(slots_[next].Block);
      if (((next - home) & mask_) >= ((next - hole) & mask_)) {
        slots_[hole] = slots_[next];
        hole = next;
      }
    }
    slots_[hole] = Slot{};
    --used_;
  }

 private:
  struct Slot {
    const void* Block = nullptr;
    std::uint64_t Size = 0;
  };

  std::size_t capacity() const { return slots_ == nullptr ? 0 : mask_ + 1; }

  std::size_t Home(const void* block) const {
    // Fibonacci hashing: the product's top bits index the table.
    const auto key = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(block));
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> shift_);
  }

  void Place(const void* block, std::uint64_t size) {
    std::size_t i = Home(block);
    while (slots_[i].Block != nullptr) i = (i + 1) & mask_;
    slots_[i] = Slot{block, size};
  }

  void Grow() {
    Slot* old = slots_;
    const std::size_t oldCapacity = capacity();
    const std::size_t fresh = oldCapacity == 0 ? std::size_t{1} << 12 : oldCapacity * 2;
    auto* grown = static_cast<Slot*>(std::calloc(fresh, sizeof(Slot)));
    if (grown == nullptr) throw std::bad_alloc();
    slots_ = grown;
    mask_ = fresh - 1;
    shift_ = shift_ == 0 ? 64 - 12 : shift_ - 1;
    for (std::size_t i = 0; i < oldCapacity; ++i) {
      if (old[i].Block != nullptr) Place(old[i].Block, old[i].Size);
    }
    std::free(old);
  }

  Slot* slots_ = nullptr;
  std::size_t mask_ = 0;
  unsigned shift_ = 0;  // 64 - log2(capacity)
  std::size_t used_ = 0;
};

}  // namespace simhost::detail
