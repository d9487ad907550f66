// libFuzzer entry for messages typed into chat; the harness says how bytes are read and what is
// checked.
#include <cstdio>
#include <cstdlib>

#include "fuzz/harness/chat_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string broken = fuzz::CheckChatMessage(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "fuzz_chat: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}
