// Replays the committed fuzz corpus through the fuzz targets' own checks, so every seed and
// every past finding is judged on each test run, with whichever compiler builds the tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/harness/chat_harness.h"
#include "fuzz/harness/config_harness.h"
#include "fuzz/harness/line_shape.h"
#include "fuzz/harness/notation_harness.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Seeds(const char* target) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(ROLLMOOT_FUZZ_CORPUS) / target)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

std::vector<std::uint8_t> Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzCorpus, EveryChatSeedKeepsTheHandlersPromises) {
  const auto seeds = Seeds("chat");
  ASSERT_GE(seeds.size(), 30u) << "corpus missing";
  for (const auto& seed : seeds) {
    const auto bytes = Bytes(seed);
    EXPECT_EQ(fuzz::CheckChatMessage(bytes.data(), bytes.size()), "") << seed.filename();
  }
}

TEST(FuzzCorpus, EveryConfigSeedKeepsTheLoadersPromises) {
  const auto seeds = Seeds("config");
  ASSERT_GE(seeds.size(), 30u) << "corpus missing";
  for (const auto& seed : seeds) {
    const auto bytes = Bytes(seed);
    EXPECT_EQ(fuzz::CheckConfigFile(bytes.data(), bytes.size()), "") << seed.filename();
  }
}

TEST(FuzzCorpus, EveryNotationSeedKeepsTheNotationsPromises) {
  const auto seeds = Seeds("notation");
  ASSERT_GE(seeds.size(), 30u) << "corpus missing";
  for (const auto& seed : seeds) {
    const auto bytes = Bytes(seed);
    EXPECT_EQ(fuzz::CheckNotation(bytes.data(), bytes.size()), "") << seed.filename();
  }
}

// The line check is the fuzzer's eye: it must pass every line a roll can give and refuse
// each way a line can be wrong, or a clean fuzz run proves nothing.
TEST(LineShape, AcceptsRollsAndRefusesEverythingElse) {
  struct Row {
    const char16_t* Line;
    bool Good;
  };
  const Row rows[] = {
      {u"Nomad rolled 1d6 and got: 4", true},
      {u"Nomad rolled 3d6 and got: 5, 1, 6 (Total: 12)", true},
      {u"Nomad rolled 1d6 and got: 7", false},             // above the sides
      {u"Nomad rolled 1d6 and got: 0", false},             // below 1
      {u"Nomad rolled 1d6 and got: 04", false},            // leading zero
      {u"Nomad rolled 1d8 and got: 4", false},             // wrong die
      {u"Nomad rolled 2d6 and got: 3 (Total: 3)", false},  // fewer values than dice
      {u"Nomad rolled 2d6 and got: 3, 4 (Total: 8)", false},
      {u"Nomad rolled 2d6 and got: 3, 4", false},  // no total
      {u"Nomad rolled 1d6 and got: 3, 4", false},  // single die, two values
      {u"Nomad rolled 1d6 and got: 3 (Total: 3)", false},
      {u"Nomad rolled 0d6 and got: 3", false},
      {u"Ann rolled 1d6 and got: 4", false},  // someone else's name
      {u" rolled 1d6 and got: 4", false},
      {u"", false},
  };
  for (const Row& row : rows) {
    fuzz::ParsedRoll roll;
    const std::u16string line(row.Line);
    const WideString wide(line.begin(), line.end());
    EXPECT_EQ(fuzz::CheckLineShape(wide, HOST_TEXT("Nomad"), 6, roll).empty(), row.Good)
        << std::string(line.begin(), line.end());
  }
  std::u16string hundred = u"Nomad rolled 100d6 and got: 1";
  for (int i = 1; i < 100; ++i) hundred += u", 1";
  hundred += u" (Total: 100)";
  fuzz::ParsedRoll roll;
  EXPECT_EQ(
      fuzz::CheckLineShape(WideString(hundred.begin(), hundred.end()), HOST_TEXT("Nomad"), 6, roll),
      "");
  EXPECT_EQ(roll.Count, 100);
}

}  // namespace
