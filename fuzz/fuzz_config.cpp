// libFuzzer entry for config.json contents; the harness says how bytes are read and what is
// checked.
#include <cstdio>
#include <cstdlib>

#include "fuzz/harness/config_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string broken = fuzz::CheckConfigFile(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "fuzz_config: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}
