#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "dice/engine.h"

namespace {

std::vector<int> Draw(int count, std::uint32_t sides) {
  std::vector<int> values;
  for (int i = 0; i < count; ++i) values.push_back(RollDie(sides));
  return values;
}

TEST(DiceEngine, FollowsTheReferenceSequence) {
  DiceEngine = SeededEngine(5489);
  std::mt19937 reference(5489);
  EXPECT_EQ(NextOutput(DiceEngine), 3499211612u);
  static_cast<void>(reference());  // keep the reference in step
  for (int i = 2; i < 10000; ++i) ASSERT_EQ(NextOutput(DiceEngine), reference()) << "output " << i;
  EXPECT_EQ(NextOutput(DiceEngine), 4123659995u);  // the 10000th
}

// The refill is our own; the standard library's engine is the yardstick for every word of
// several refills, from seeds that put zeros and ones in the bits the twist looks at.
TEST(DiceEngine, MatchesTheStandardEngineForAnySeed) {
  for (const std::uint32_t seed : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 20261208u}) {
    EngineState engine = SeededEngine(seed);
    std::mt19937 reference(seed);
    for (int i = 0; i < 624 * 4 + 1; ++i) {
      ASSERT_EQ(NextOutput(engine), reference()) << "seed " << seed << ", output " << i;
    }
  }
}

TEST(RollDie, KnownSequencesFromSeed5489) {
  DiceEngine = SeededEngine(5489);
  EXPECT_EQ(Draw(3, 6), (std::vector<int>{5, 1, 6}));
  DiceEngine = SeededEngine(5489);
  EXPECT_EQ(Draw(5, 20), (std::vector<int>{17, 3, 19, 17, 3}));
}

TEST(RollDie, SameSeedSameDice) {
  DiceEngine = SeededEngine(77);
  const auto first = Draw(50, 12);
  DiceEngine = SeededEngine(77);
  EXPECT_EQ(Draw(50, 12), first);
}

TEST(RollDie, OneSideIsAlwaysOne) {
  DiceEngine = SeededEngine(1);
  for (int value : Draw(1000, 1)) ASSERT_EQ(value, 1);
}

// Lemire's draw written out apart from the plugin's: redraw while the low word is below
// 2^32 mod n, taken in 64 bits.
std::uint32_t ReferenceDraw(EngineState& engine, std::uint32_t sides) {
  const std::uint64_t threshold = (std::uint64_t{1} << 32) % sides;
  for (;;) {
    const std::uint64_t product = std::uint64_t{NextOutput(engine)} * sides;
    if ((product & 0xFFFFFFFFu) >= threshold) return static_cast<std::uint32_t>(product >> 32) + 1;
  }
}

// The table's dice almost never reach the redraw, so sides are chosen where it is frequent:
// 2^31 + 1 redraws about half the outputs, and 2^31 (threshold 0) redraws none, though half
// of its low words are below n. Same values, same number of outputs consumed.
TEST(RollDie, RedrawsExactlyTheOutputsThatWouldBiasTheDraw) {
  for (const std::uint32_t sides :
       {0x80000001u, 0x80000000u, 0xC0000000u, 0xAAAAAAABu, 0xFFFFFFFFu, 1000u, 20u, 6u}) {
    DiceEngine = SeededEngine(sides);
    EngineState reference = DiceEngine;
    for (int i = 0; i < 5000; ++i) {
      ASSERT_EQ(static_cast<std::uint32_t>(RollDie(sides)), ReferenceDraw(reference, sides))
          << "sides " << sides << ", draw " << i;
    }
    EXPECT_EQ(NextOutput(DiceEngine), NextOutput(reference)) << "outputs consumed, sides " << sides;
  }
}

TEST(LoadSeed, TakesTheDeviceOrAFreshSeedWithoutIt) {
  EXPECT_EQ(LoadSeed([]() -> std::uint32_t { return 42; }), 42u);
  // No exception may escape static initialisation, and two loads without a device must still
  // roll different dice.
  const auto failing = []() -> std::uint32_t { throw std::runtime_error("no device"); };
  EXPECT_NE(LoadSeed(failing), LoadSeed(failing));
}

}  // namespace
