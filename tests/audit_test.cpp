// The roll audit's stream, record and keys, below the commands: the words against a second
// computation from the revealed key, the record's text, and when a key gives way to the next.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "dice/audit.h"
#include "host_fixture.h"
#include "log/log.h"

namespace {

using namespace std::chrono_literals;

class AuditTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    CreatePluginLog(PluginLogHolder(), "Rollmoot");
  }
  void TearDown() override {
    EndAudit();
    PluginLogHolder().reset();
    HostTest::TearDown();
  }

  // The hex after `prefix` in the last log line that has it.
  std::string LastHex(const std::string& prefix) {
    std::string found;
    for (const std::string& line : LogMessages()) {
      if (line.rfind(prefix, 0) == 0) found = line.substr(prefix.size(), 64);
    }
    return found;
  }

  static std::vector<unsigned char> Bytes(const std::string& hex) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
  }

  static void RecordOne(std::int32_t value) {
    const std::array<AuditGroup, 1> group{{{20, &value, 1}}};
    RecordAuditedRoll(HOST_TEXT("Ann"), group);
  }
};

// The words a key gives, computed again from the revealed key: block j is the MAC of j as
// eight big-endian bytes, each block eight big-endian words. Taken across several rolls' feeds
// and over block edges, none skipped.
TEST_F(AuditTest, StreamIsTheKeysBlocksInOrderAcrossRolls) {
  const auto t0 = AuditClock::now();
  StartAudit(t0);
  std::vector<std::uint32_t> taken;
  for (int take : {3, 6, 1, 9}) {  // edges at 8 and 16 fall inside a roll and between rolls
    AuditFeed feed(t0);
    for (int i = 0; i < take; ++i) taken.push_back(feed.Next());
    ASSERT_TRUE(feed.Ok());
    RecordOne(1);
  }
  EndAudit();
  const std::vector<unsigned char> key = Bytes(LastHex("Rollmoot: Roll audit: key "));
  ASSERT_EQ(key.size(), AuditKeyBytes);

  unsigned char commitment[platform::Sha256Bytes];
  ASSERT_TRUE(platform::Sha256(key.data(), key.size(), commitment));
  EXPECT_EQ(Bytes(LastHex("Rollmoot: Roll audit: commitment ")),
            std::vector<unsigned char>(std::begin(commitment), std::end(commitment)));

  platform::HmacSha256 mac;
  ASSERT_TRUE(mac.SetKey(key.data(), key.size()));
  std::vector<std::uint32_t> expected;
  for (std::uint64_t j = 0; expected.size() < taken.size(); ++j) {
    const unsigned char index[8] = {0, 0, 0, 0, 0, 0, 0, static_cast<unsigned char>(j)};
    unsigned char block[platform::Sha256Bytes];
    ASSERT_TRUE(mac.Mac(index, sizeof index, block));
    for (int k = 0; k < 8; ++k) {
      expected.push_back(std::uint32_t{block[4 * k]} << 24 | std::uint32_t{block[4 * k + 1]} << 16 |
                         std::uint32_t{block[4 * k + 2]} << 8 | block[4 * k + 3]);
    }
  }
  expected.resize(taken.size());
  EXPECT_EQ(taken, expected);
}

TEST_F(AuditTest, RecordWritesTheNameAsJsonAndTheGroupsInOrder) {
  StartAudit(AuditClock::now());
  const std::int32_t first[] = {17, 3};
  const std::int32_t second[] = {1000};
  const std::array<AuditGroup, 2> groups{{{20, first, 2}, {1000, second, 1}}};
  WideString odd = HOST_TEXT("\"Bj\x00F6rn\\\" \x0001\x001F\n\t");
  odd += WideChar(0xD800);  // a lone surrogate
  odd += HOST_TEXT("\xD83C\xDFB2");
  RecordAuditedRoll(odd.c_str(), groups);
  RecordAuditedRoll(nullptr, std::span(groups).first(1));
  RecordAuditedRoll(HOST_TEXT(""), std::span(groups).last(1));
  const std::vector<std::string> log = LogMessages();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1],
            "Rollmoot: Roll audit: #1 \"\\\"Bj\xC3\xB6rn\\\\\\\" \\u0001\\u001f\\n\\t"
            "\xEF\xBF\xBD\xF0\x9F\x8E\xB2\" d20:17,3 d1000:1000");
  EXPECT_EQ(log[2], "Rollmoot: Roll audit: #2 null d20:17,3");
  EXPECT_EQ(log[3], "Rollmoot: Roll audit: #3 \"\" d1000:1000");
  for (const auto& entry : sink_->Entries()) EXPECT_EQ(entry.Level, spdlog::level::info);
}

// A key serves 1,000 rolls or 60 minutes; the first roll after either reveals it and commits to
// a new one before drawing, and counts from #1 again.
TEST_F(AuditTest, KeyGivesWayAfterItsRollsOrItsTime) {
  struct Case {
    const char* what;
    int rolls;                   // recorded under the first key
    AuditClock::duration later;  // when the next roll comes
    bool rotates;
  };
  const std::vector<Case> cases{
      {"999 rolls", 999, 0s, false},
      {"1,000 rolls", 1000, 0s, true},
      {"just under an hour", 5, 60min - 1ms, false},
      {"an hour", 5, 60min, true},
  };
  const std::regex commitment("Rollmoot: Roll audit: commitment [0-9a-f]{64}");
  for (const Case& c : cases) {
    const auto t0 = AuditClock::now();
    StartAudit(t0);
    for (int i = 0; i < c.rolls; ++i) {
      AuditFeed feed(t0);
      feed.Next();
      RecordOne(1);
    }
    const std::size_t mark = LogMessages().size();
    AuditFeed feed(t0 + c.later);
    EXPECT_TRUE(feed.Ok()) << c.what;
    const std::vector<std::string> all = LogMessages();
    const std::vector<std::string> log(all.begin() + static_cast<std::ptrdiff_t>(mark), all.end());
    if (c.rotates) {
      ASSERT_EQ(log.size(), 2u) << c.what;
      EXPECT_EQ(log[0].substr(0, 26), "Rollmoot: Roll audit: key ");
      EXPECT_EQ(log[0].substr(90), " after " + std::to_string(c.rolls) + " rolls");
      EXPECT_TRUE(std::regex_match(log[1], commitment)) << log[1];
      EXPECT_EQ(AuditedRolls(), 0u);
    } else {
      EXPECT_TRUE(log.empty()) << c.what;
      EXPECT_EQ(AuditedRolls(), static_cast<std::uint32_t>(c.rolls));
    }
    RecordOne(1);
    const std::string number = "#" + std::to_string(c.rotates ? 1 : c.rolls + 1) + " ";
    EXPECT_EQ(LogMessages().back().rfind("Rollmoot: Roll audit: " + number, 0), 0u) << c.what;
    EndAudit();
  }
}

}  // namespace
