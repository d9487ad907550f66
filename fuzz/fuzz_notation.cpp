// libFuzzer entry for dice expressions; the harness says how bytes are read and what is
// checked.
#include <cstdio>
#include <cstdlib>

#include "fuzz/harness/notation_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string broken = fuzz::CheckNotation(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "fuzz_notation: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}
