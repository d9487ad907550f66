// The plugin's side of host strings and memory, and the simulated host's own promises
// that the other tests rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/ascii_conversion.h"
#include "host/fstring.h"
#include "host/platform.h"
#include "host_fixture.h"

namespace {

std::string Hex(const unsigned char* bytes, std::size_t size) {
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    constexpr char digits[] = "0123456789abcdef";
    hex += digits[bytes[i] >> 4];
    hex += digits[bytes[i] & 0x0F];
  }
  return hex;
}

// The published HMAC-SHA256 test vectors (RFC 4231, cases 1 to 7; case 5 is compared on the
// 128 bits it gives), through the keyed object exactly as the roll audit uses it: one key,
// then MACs; and in one call. Under Wine this is the BCrypt path.
TEST(Crypto, HmacSha256GivesThePublishedVectors) {
  struct Case {
    std::string key, data, mac;
  };
  const std::string big(131, '\xaa');
  std::string counting;
  for (char c = 1; c <= 25; ++c) counting += c;
  const std::vector<Case> cases{
      {std::string(20, '\x0b'), "Hi There",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {"Jefe", "what do ya want for nothing?",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {std::string(20, '\xaa'), std::string(50, '\xdd'),
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {counting, std::string(50, '\xcd'),
       "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {std::string(20, '\x0c'), "Test With Truncation", "a3b6167473100ee06e0c796c2955552b"},
      {big, "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {big,
       "This is a test using a larger than block-size key and a larger than block-size data. "
       "The key needs to be hashed before being used by the HMAC algorithm.",
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
  platform::HmacSha256 hmac;
  unsigned char mac[platform::Sha256Bytes];
  EXPECT_FALSE(hmac.Mac("x", 1, mac)) << "no key yet";
  for (const Case& c : cases) {
    ASSERT_TRUE(hmac.SetKey(c.key.data(), c.key.size()));
    // Twice: a keyed object gives the same MAC again, and a new key replaces the old.
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(hmac.Mac(c.data.data(), c.data.size(), mac));
      EXPECT_EQ(Hex(mac, sizeof mac).substr(0, c.mac.size()), c.mac) << c.data;
    }
    // The one-shot MAC the audit's self-test holds the keyed object to.
    ASSERT_TRUE(
        platform::HmacSha256Once(c.key.data(), c.key.size(), c.data.data(), c.data.size(), mac));
    EXPECT_EQ(Hex(mac, sizeof mac).substr(0, c.mac.size()), c.mac) << c.data;
  }
  hmac.Clear();
  EXPECT_FALSE(hmac.Mac("x", 1, mac)) << "the key is forgotten";
}

TEST(Crypto, Sha256GivesThePublishedDigests) {
  unsigned char digest[platform::Sha256Bytes];
  ASSERT_TRUE(platform::Sha256("", 0, digest));
  EXPECT_EQ(Hex(digest, sizeof digest),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  ASSERT_TRUE(platform::Sha256("abc", 3, digest));
  EXPECT_EQ(Hex(digest, sizeof digest),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

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

// A fresh block is asked for with alignment 0, whatever the caller wanted; a resize passes
// the alignment on. Without the resize native the old block stands.
TEST_F(HostStrings, AllocateOrResizeGrowsInPlaceOfTheBlock) {
  void* block = AllocateOrResize(nullptr, 16, 8);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(simhost::Memory().AlignedMallocs, before_.AlignedMallocs) << "Malloc got an alignment";
  std::memcpy(block, "0123456789abcdef", 16);
  block = AllocateOrResize(block, 64, 8);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::memcmp(block, "0123456789abcdef", 16), 0);
  EXPECT_EQ(simhost::Memory().Bytes - before_.Bytes, 64);

  simhost::FaultPlan plan;
  plan.MissingNames = {"FMemory.Realloc(void*,unsigned__int64,unsignedint)"};
  simhost::SetFaults(plan);
  EXPECT_EQ(AllocateOrResize(block, 128, 8), nullptr);
  simhost::SetFaults({});
  EXPECT_EQ(simhost::Memory().Bytes - before_.Bytes, 64);
  FMemory::Free(block);
}

// UTF-8 from files and file names: every well-formed sequence decodes, and each maximal
// ill-formed part (overlong forms, encoded surrogates, beyond U+10FFFF, cut short) becomes
// one U+FFFD, never a character it was not.
TEST(Utf8, DecodesWellFormedTextAndReplacesEveryIllFormedPart) {
  struct Case {
    std::string bytes;
    std::u16string utf16;
  };
  const std::vector<Case> cases{
      {"A~\x7F", u"A~\x7F"},
      {"\xC3\xA9", u"\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x8E\xB2", u"\U0001F3B2"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"\xC0\x80", u"\uFFFD\uFFFD"},                      // overlong NUL
      {"\xC1\xBF", u"\uFFFD\uFFFD"},                      // overlong DEL
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong '/'
      {"\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xF5\x80", u"\uFFFD\uFFFD"},
      {"\xE2\x82", u"\uFFFD"},  // cut short at the end
      {"\xE2\x82"
       "A",
       u"\uFFFDA"},
      {"\x80"
       "A",
       u"\uFFFDA"},  // a lone continuation byte
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const Case& c : cases) {
    const WideString wide = utf::Utf8ToWide(c.bytes);
    EXPECT_EQ(std::u16string(wide.begin(), wide.end()), c.utf16) << testing::PrintToString(c.bytes);
  }
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
