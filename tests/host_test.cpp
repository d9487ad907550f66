// The plugin's side of host strings and memory, and the simulated host's own promises
// that the other tests rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/ascii_conversion.h"
#include "host/fstring.h"
#include "host_fixture.h"

namespace {

class HostStrings : public HostTest {};

TEST_F(HostStrings, AsciiConversionKeepsShortTextsInline) {
  struct Case {
    WideString source;
    std::string expected;
    bool heap;
  };
  const std::vector<Case> cases{
      {HOST_TEXT(""), "", false},
      {WideString(127, 'a'), std::string(127, 'a'), false},
      {WideString(128, 'b'), std::string(128, 'b'), true},
      {HOST_TEXT("caf\x00E9"), "caf?", false},
      {HOST_TEXT("\xD83C\xDFB2."), "??.", false},  // a surrogate pair is two units
      {HOST_TEXT("\x007F\x0080\x0100\xFFFF"), "\x7F???", false},
      {HOST_TEXT("/d6 \x00FF") HOST_TEXT("15"), "/d6 ?15", false},
  };
  for (const Case& c : cases) {
    const auto before = simhost::Memory();
    {
      AsciiConversion narrow(c.source.c_str());
      ASSERT_NE(narrow.Text, nullptr);
      EXPECT_EQ(std::string(narrow.Text), c.expected);
      EXPECT_EQ(narrow.Length, static_cast<std::int32_t>(c.expected.size()));
      EXPECT_EQ(narrow.Text == narrow.Inline, !c.heap);
      EXPECT_EQ(narrow.Heap != nullptr, c.heap);
      const auto during = simhost::Memory();
      EXPECT_EQ(during.Blocks - before.Blocks, c.heap ? 1 : 0);
      if (c.heap) {
        EXPECT_EQ(during.Bytes - before.Bytes, 129);  // n + 1 bytes, as Malloc(n, 0)
      }
    }
    EXPECT_EQ(simhost::Memory().Blocks, before.Blocks);  // released
  }
}

TEST_F(HostStrings, AsciiConversionOfNullOrWithoutMemory) {
  const AsciiConversion none(nullptr);
  EXPECT_EQ(none.Text, nullptr);
  EXPECT_EQ(none.Length, 0);

  simhost::FaultPlan plan;
  plan.FailAllMallocs = true;
  simhost::SetFaults(plan);
  const WideString longText(300, 'x');
  const AsciiConversion starved(longText.c_str());
  EXPECT_EQ(starved.Text, nullptr);  // no text rather than a write through null
  simhost::SetFaults({});
}

TEST_F(HostStrings, FStringTextAndRelease) {
  const FString empty;
  EXPECT_EQ(*empty, WideString());
  {
    FString hello("hello");
    EXPECT_EQ(hello.Num, 6);
    EXPECT_EQ(WideString(*hello), HOST_TEXT("hello"));
    hello.Num = 0;  // a block with no count is still released (fixture checks the books)
    EXPECT_EQ(WideString(*hello), WideString());
  }
  {
    FString lone(HOST_TEXT(""));
    EXPECT_EQ(lone.Num, 1);  // holds no text
    EXPECT_EQ(WideString(*lone), WideString());
  }
}

TEST_F(HostStrings, AllocateOrResizeGrowsInPlaceOfTheBlock) {
  void* block = AllocateOrResize(nullptr, 16, 8);
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "0123456789abcdef", 16);
  block = AllocateOrResize(block, 64, 8);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::memcmp(block, "0123456789abcdef", 16), 0);
  EXPECT_EQ(simhost::Memory().Bytes - before_.Bytes, 64);
  FMemory::Free(block);
}

TEST_F(HostStrings, AllocatorCatchesDoubleAndForeignFrees) {
  void* block = FMemory::Malloc(8, 0);
  FMemory::Free(block);
  FMemory::Free(block);
  int local = 0;
  FMemory::Free(&local);
  EXPECT_EQ(simhost::Memory().BadFrees - before_.BadFrees, 2u);
  before_.BadFrees += 2;  // expected here; the fixture checks for anything beyond
}

class Registry : public HostTest {};

TEST_F(Registry, DispatchesByFirstWordIgnoringAsciiCase) {
  int calls = 0;
  WideString seen;
  {
    const FString command("/d6");
    AsaApi::GetCommands().RegisterChatCommand(
        command, [&](AShooterPlayerController*, FString* message, int, int) {
          ++calls;
          seen = **message;
        });
  }
  const auto ann = Join("Ann");
  struct Case {
    const char* text;
    bool handled;
  };
  for (const Case& c :
       {Case{"/d6", true}, Case{"/D6 3", true}, Case{"/d6\t2", true}, Case{"/d66", false},
        Case{"d6", false}, Case{" /d6", false}, Case{"/d6x 1", false}}) {
    EXPECT_EQ(Say(ann, c.text), c.handled) << c.text;
  }
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(utf::WideToUtf8(seen), "/d6\t2");  // the whole text, command included

  const FString command("/d6");
  EXPECT_TRUE(AsaApi::GetCommands().UnregisterChatCommand(command));
  EXPECT_FALSE(Say(ann, "/d6"));
}

TEST_F(Registry, LeftPlayersCannotSpeak) {
  const auto ann = Join("Ann");
  simhost::Leave(ann);
  EXPECT_FALSE(simhost::IsPresent(ann));
  EXPECT_EQ(simhost::Controller(ann), nullptr);
  EXPECT_FALSE(Say(ann, "/d6"));
}

}  // namespace
