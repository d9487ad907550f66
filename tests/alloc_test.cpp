// A roll takes nothing from the heap by itself: every block it uses is one of the host's
// FMemory blocks. This program replaces the global allocation functions, so it counts
// every operator new of the process, and with glibc every malloc, calloc and realloc
// (the host library's included), while a roll runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "dice/audit.h"
#include "dice/audit_file.h"
#include "dice/cooldown.h"
#include "dice/notation_command.h"
#include "dice/roll_command.h"
#include "dice/secure_feed.h"
#include "dice/settings.h"
#include "host/fmemory.h"
#include "host_fixture.h"
#include "temp_dir.h"
#include "tests/support/alloc_count.h"
#include "tests/support/longest_messages.h"

namespace {

using alloc_count::Counts;

// What `work` asked of the heap, on this thread.
template <class Work>
Counts CountDuring(Work&& work) {
  Counts counts;
  {
    const alloc_count::Window window(counts);
    work();
  }
  return counts;
}

const bool HeapIsCounted = alloc_count::CountsHeap();

void RollNotation(AShooterPlayerController* player, FString* message, int) {
  NotationRollCommand(player, message);
}

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

// 100 typed d2 that explode on 2 and reroll 1 once: the 200 values are nearly always all
// drawn, and each die carries "!p", "ro" and "*", "_" or the parentheses of a dropped one.
std::string WorstModifiers() {
  return "/roll 100d2!p2ro1kh100>=2f1 # " + Repeat("\xF0\x9F\x8E\xB2", 40);
}

using AllocTest = HostTest;

TEST_F(AllocTest, ARollUsesNoHeapButTheHostsBlocks) {
  if (!HeapIsCounted) GTEST_SKIP() << "the sanitizer's allocator cannot be counted";
  const std::string longestName(64, 'N');
  const std::string chatter = "/d6 3 " + std::string(494, 'x');
  struct Case {
    const char* What;
    std::string Roller;
    std::string Message;
    int Sides;
    int Players;
    RollSettings Options = {};
    void (*Roll)(AShooterPlayerController*, FString*, int) = &RollCommand;
    int Deliveries = Players;  // lines the measured roll sends
    // libcrypto's HMAC takes the heap inside each block's MAC: only operator new is the
    // plugin's own then.
    bool CryptoLibrary = false;
  };
  const RollSettings everyOption{3600, true, true, 50, true};
  const RollSettings everyOptionButCooldown{0, true, true, 50, true};
  const RollSettings secureRolls{0, false, false, 100, false, true};
  const RollSettings auditRolls{0, false, false, 100, false, false, true};
  const RollSettings auditFile{0, false, false, 100, false, false, true, true};
  const std::vector<Case> cases{
      {"one die, one player", "Nomad", "/d6", 6, 1},
      {"100 dice to 100 players", "Nomad", "/d20 100", 20, 100},
      {"a 64-character name", longestName, "/d20 100", 20, 100},
      {"a 500-character message", "Nomad", chatter, 6, 3},
      {"an unreadable count", "Nomad", "/d12 lots", 12, 2},
      {"a count beyond the limit", longestName, "/d10 99999999999", 10, 2},
      {"every option on, logged to everyone", longestName, "/d20 100", 20, 100,
       everyOptionButCooldown},
      {"every option on, private", longestName, "/pd20 100", 20, 100, everyOptionButCooldown,
       &PrivateRollCommand, 1},
      // The longest expression there is, and one that is refused.
      {"/roll, the longest line", longestName, "/roll 100d1000kh1" + Repeat("-100000", 19), 0, 100,
       RollSettings{0, true, true, 100, true}, &RollNotation},
      // Every value a roll may draw, every marker, the longest label.
      {"/roll, 200 values and a label", longestName, WorstModifiers(), 0, 100,
       RollSettings{0, true, true, 100, true}, &RollNotation},
      {"/roll, refused", longestName, "/roll 101d1000 " + std::string(300, '+'), 0, 100,
       everyOptionButCooldown, &RollNotation, 1},
      // The warm-up roll starts the cooldown, so the measured one is refused.
      {"every option on, refused by the cooldown", longestName, "/d20 100", 20, 100, everyOption,
       &RollCommand, 1},
      {"secure rolls", longestName, "/d20 100", 20, 100, secureRolls},
      {"secure rolls, /roll", longestName, "/roll 100d1000kh1" + Repeat("-100000", 19), 0, 100,
       RollSettings{0, true, true, 100, true, true}, &RollNotation},
      {"roll audit", longestName, "/d20 100", 20, 100, auditRolls, &RollCommand, 100, true},
      {"roll audit, /roll", longestName, "/roll 100d1000kh1" + Repeat("-100000", 19), 0, 100,
       RollSettings{0, true, true, 100, true, true, true}, &RollNotation, 100, true},
      // The record goes to the file too: the longest a record can be.
      {"roll audit with its file", longestName, "/d20 100", 20, 100, auditFile, &RollCommand, 100,
       true},
      {"roll audit with its file, /roll", std::string(64, '\x01'),
       "/roll 100d1000kh1" + Repeat("-100000", 19), 0, 100,
       RollSettings{0, true, true, 100, true, true, true, true}, &RollNotation, 100, true},
      {"roll audit, /roll of 200 values", longestName, WorstModifiers(), 0, 100,
       RollSettings{0, true, true, 100, true, false, true}, &RollNotation, 100, true},
      // The longest record: 200 values of up to four digits.
      {"roll audit, /roll of 200 values of a d1000", longestName, "/roll 100d1000!>=2", 0, 100,
       RollSettings{0, true, true, 100, true, false, true}, &RollNotation, 100, true},
      {"roll audit with its file, /roll of 200 values of a d1000", std::string(64, '\x01'),
       "/roll 100d1000!>=2", 0, 100, RollSettings{0, true, true, 100, true, false, true, true},
       &RollNotation, 100, true},
  };
  const TempDir server;
  // Every case with the English lines, then with every message at its longest.
  for (const bool longest : {false, true})
    for (const Case& c : cases) {
      SCOPED_TRACE(c.What);
      SCOPED_TRACE(longest ? "longest messages" : "default messages");
      if (longest) {
        ASSERT_TRUE(UseLongestMessages());
      }
      Settings = c.Options;
      if (Settings.AuditFile) {
        UseAuditFile((server.Path() / "audit").string());
      } else {
        StopAuditFile();
      }
      ClearCooldowns();
      simhost::Reset();
      simhost::SetLeanRelay(true);  // the relay counts lines and keeps none
      const simhost::PlayerId roller = Join(c.Roller);
      for (int i = 1; i < c.Players; ++i) Join("Player " + std::to_string(i));
      FString message(utf::Utf8ToWide(c.Message).c_str());
      AShooterPlayerController* controller = simhost::Controller(roller);

      // The host sets up its relay on first use; that is the host's, and once.
      c.Roll(controller, &message, c.Sides);

      SecureWords.Position =
          SecureWords.End;  // the measured roll fetches words, if it rolls securely
      const simhost::MemoryStats hostBefore = simhost::Memory();
      const std::uint64_t deliveredBefore = simhost::DeliveryCount();
      const Counts counts = CountDuring([&] { c.Roll(controller, &message, c.Sides); });
      const simhost::MemoryStats hostAfter = simhost::Memory();

      EXPECT_EQ(simhost::DeliveryCount() - deliveredBefore,
                static_cast<std::uint64_t>(c.Deliveries));
      EXPECT_EQ(counts.News, 0u) << "operator new during a roll";
      if (alloc_count::CountsMallocs() && !c.CryptoLibrary) {
        // The host makes one malloc per FMemory block; any other is the plugin's own.
        EXPECT_EQ(counts.Mallocs, hostAfter.Allocations - hostBefore.Allocations)
            << "a malloc that is not one of the host's blocks";
      }
      EXPECT_GE(hostAfter.Allocations - hostBefore.Allocations, 3u) << "line, sender, path";
      EXPECT_EQ(hostAfter.Blocks, hostBefore.Blocks) << "a host block outlived the roll";
    }
  EndAudit();
  StopAuditFile();
  Settings = {};
  Messages = DefaultMessages;
  ClearCooldowns();
}

// The cooldown table keeps only the cooldowns that still run: once theirs has run out,
// players who came and went cost nothing, however many there were.
TEST_F(AllocTest, CooldownTableStaysFlatAsPlayersComeAndGo) {
  if (!HeapIsCounted) GTEST_SKIP() << "the sanitizer's allocator cannot be counted";
  ClearCooldowns();
  const std::size_t players = 100 * 1000;  // a distinct list element per player
  auto now = CooldownClock::now();
  const auto round = [&](std::size_t first) {
    for (std::size_t i = first; i < first + 1000; ++i) {
      const FWeakObjectPtr player{static_cast<std::int32_t>(i % 1000),
                                  static_cast<std::int32_t>(i + 1)};
      ASSERT_EQ(CooldownSecondsLeft(player, now), 0);
      StartCooldown(player, now, 1);
    }
  };
  round(0);
  const Counts counts = CountDuring([&] {
    for (std::size_t next = 1000; next < players; next += 1000) {
      now += std::chrono::seconds(2);
      round(next);
    }
  });
  EXPECT_EQ(counts.News + counts.Mallocs, 0u) << "the table grew with players long gone";
  ClearCooldowns();
}

// The allocator's books allocate nothing per block, so a count taken during a roll shows
// the plugin's allocations and none of the books'. They must stay exact all the same,
// through growth, frees in any order, resizes and bad frees.
TEST_F(AllocTest, HostBooksStayExactWithoutAllocatingPerBlock) {
  const simhost::MemoryStats start = simhost::Memory();
  std::vector<void*> blocks;
  blocks.reserve(10000);
  const Counts counts = CountDuring([&] {
    for (std::uint64_t i = 0; i < 10000; ++i) blocks.push_back(FMemory::Malloc(i % 97 + 1, 0));
  });
  if (HeapIsCounted) {
    EXPECT_EQ(counts.News, 0u) << "the books allocated for a block";
  }
  EXPECT_EQ(simhost::Memory().Blocks - start.Blocks, 10000);

  // Resize a few (the block may move) and free everything in a scrambled order.
  for (std::size_t i = 0; i < blocks.size(); i += 100)
    blocks[i] = FMemory::Realloc(blocks[i], 4096, 0);
  std::shuffle(blocks.begin(), blocks.end(), std::mt19937(7));
  for (void* block : blocks) FMemory::Free(block);
  const simhost::MemoryStats end = simhost::Memory();
  EXPECT_EQ(end.Blocks, start.Blocks);
  EXPECT_EQ(end.Bytes, start.Bytes);
  EXPECT_EQ(end.BadFrees, start.BadFrees);

  // A block freed twice, and an address the allocator never gave, are caught.
  void* block = FMemory::Malloc(16, 0);
  FMemory::Free(block);
  FMemory::Free(block);
  int local = 0;
  FMemory::Free(&local);
  EXPECT_EQ(simhost::Memory().BadFrees - start.BadFrees, 2u);
  before_.BadFrees = simhost::Memory().BadFrees;  // made on purpose; the fixture checks the rest
}

}  // namespace
