// The roll audit's stream, record and keys, below the commands: the words against a second
// computation from the revealed key, the record's text, and when a key gives way to the next.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "dice/audit.h"
#include "dice/cooldown.h"
#include "dice/dice_key_command.h"
#include "dice/engine.h"
#include "dice/messages.h"
#include "dice/notation_command.h"
#include "dice/roll_command.h"
#include "dice/settings.h"
#include "host_fixture.h"
#include "log/log.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#include <openssl/evp.h>
#include <sys/types.h>

// The platform layer's calls, replaced for this program: the system source's in
// secure_test.cpp, the MAC's here. Each fails on request.
namespace source {
extern bool fail;
extern ssize_t shortBy;
}  // namespace source
namespace mac {
bool fail = false;
bool noRestart = false;  // as OpenSSL 3.0.0 to 3.0.2: an init without a key does nothing
}  // namespace mac

extern "C" int EVP_MAC_init(EVP_MAC_CTX* context, const unsigned char* key, size_t size,
                            const OSSL_PARAM parameters[]) {
  if (mac::noRestart && key == nullptr) return 1;
  using Init = int (*)(EVP_MAC_CTX*, const unsigned char*, size_t, const OSSL_PARAM[]);
  static const auto real = reinterpret_cast<Init>(dlsym(RTLD_NEXT, "EVP_MAC_init"));
  return real(context, key, size, parameters);
}

extern "C" int EVP_MAC_final(EVP_MAC_CTX* context, unsigned char* out, size_t* size, size_t room) {
  if (mac::fail) return 0;
  using Final = int (*)(EVP_MAC_CTX*, unsigned char*, size_t*, size_t);
  static const auto real = reinterpret_cast<Final>(dlsym(RTLD_NEXT, "EVP_MAC_final"));
  return real(context, out, size, room);
}
#endif

namespace {

using namespace std::chrono_literals;

// The self-test's reference, with one block made wrong on request.
int wrongBlock = -1;
bool PlantedReference(const void* key, std::size_t keySize, const void* data, std::size_t size,
                      unsigned char (&mac)[platform::Sha256Bytes]) noexcept {
  if (!platform::HmacSha256Once(key, keySize, data, size, mac)) return false;
  if (static_cast<const unsigned char*>(data)[size - 1] == wrongBlock) mac[0] ^= 1;
  return true;
}

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

// --- the commands ------------------------------------------------------------------------

class AuditCommands : public AuditTest {
 protected:
  void SetUp() override {
    AuditTest::SetUp();
    DiceEngine = SeededEngine(5489);
    SenderTag = HOST_TEXT("[Dice]");
    Settings = {};
    Settings.AuditRolls = true;
    Settings.SecureRolls = true;  // makes no difference beside the audit
    Settings.CooldownSeconds = 60;
    ClearCooldowns();
  }
  void TearDown() override {
#if !defined(_WIN32)
    source::fail = false;
    mac::fail = false;
    mac::noRestart = false;
#endif
    AuditReferenceMac = &platform::HmacSha256Once;
    wrongBlock = -1;
    Settings = {};
    ClearCooldowns();
    AuditTest::TearDown();
  }
  static void Type(simhost::PlayerId who, const std::string& text) {
    FString message(utf::Utf8ToWide(text).c_str());
    auto* player = simhost::Controller(who);
    const int sides = text.rfind("/roll", 0) == 0 ? 0 : std::stoi(text.substr(text.find('d') + 1));
    if (sides == 0) {
      NotationRollCommand(player, &message);
    } else if (text.rfind("/pd", 0) == 0) {
      PrivateRollCommand(player, &message, sides);
    } else {
      RollCommand(player, &message, sides);
    }
  }
  std::vector<std::string> Records() {
    std::vector<std::string> records;
    for (const std::string& line : LogMessages()) {
      if (line.rfind("Rollmoot: Roll audit: #", 0) == 0) records.push_back(line.substr(22));
    }
    return records;
  }
};

// Each kind of command records the dice its line shows, in the order drawn; refused commands
// draw nothing and record nothing; the engine is not touched.
TEST_F(AuditCommands, EveryCommandRecordsTheDiceItsLineShows) {
  StartAudit(AuditClock::now());
  const auto ann = Join("Ann");
  const auto bob = Join("Bob \"B\"");
  Type(ann, "/d20 3");
  Type(ann, "/d20 3");      // refused by the cooldown
  Type(bob, "/roll 2 d6");  // refused by the notation
  Type(bob, "/pd6 2");
  ClearCooldowns();
  Type(ann, "/roll 2d20kh1+1d4+5-3d6");
  const std::vector<std::string> told = Told(ann);
  ASSERT_EQ(told.size(), 3u);
  const std::regex fixed(R"(Ann rolled 3d20 and got: (\d+), (\d+), (\d+) \(Total: \d+\))");
  const std::regex notation(
      R"(Ann rolled 2d20kh1\+1d4\+5-3d6 and got: \[\(?(\d+)\)?, \(?(\d+)\)?\] \+ \[(\d+)\] \+ 5 - \[(\d+), (\d+), (\d+)\] \(Total: -?\d+\))");
  const std::regex priv(R"(Bob "B" rolled 2d6 and got: (\d+), (\d+) \(Total: \d+\))");
  std::smatch a, b, c;
  ASSERT_TRUE(std::regex_match(told[0], a, fixed)) << told[0];
  ASSERT_TRUE(std::regex_match(told[2], c, notation)) << told[2];
  ASSERT_EQ(Told(bob).size(), 4u);  // Ann's first, the refusal, the private roll, Ann's /roll
  const std::string privateLine = Told(bob)[2];
  ASSERT_TRUE(std::regex_match(privateLine, b, priv)) << privateLine;
  EXPECT_EQ(Records(), (std::vector<std::string>{
                           "#1 \"Ann\" d20:" + a[1].str() + "," + a[2].str() + "," + a[3].str(),
                           "#2 \"Bob \\\"B\\\"\" d6:" + b[1].str() + "," + b[2].str(),
                           "#3 \"Ann\" d20:" + c[1].str() + "," + c[2].str() + " d4:" + c[3].str() +
                               " d6:" + c[4].str() + "," + c[5].str() + "," + c[6].str()}));
  EXPECT_EQ(RollDie(6), 5) << "the engine moved";
}

// A roll whose roller has no name to be had still drew its dice: it is recorded, as null.
TEST_F(AuditCommands, RollWithoutANameIsRecordedAsNull) {
  StartAudit(AuditClock::now());
  const auto ann = Join("Ann");
  simhost::FaultPlan plan;
  plan.MissingNames = {"AShooterPlayerController.GetPlayerCharacterName()"};
  simhost::SetFaults(plan);
  Type(ann, "/d4 2");
  EXPECT_TRUE(Told(ann).empty());
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_TRUE(std::regex_match(Records()[0], std::regex(R"(#1 null d4:\d,\d)"))) << Records()[0];
}

// A key whose stream does not begin as a one-shot MAC of the same input says is never
// committed to: rolls are refused as for a failed source, with the self-test's own error line,
// and start no cooldown; once the library gives the right blocks, the next roll takes a key.
TEST_F(AuditCommands, KeyThatFailsItsSelfTestIsNeverUsed) {
  struct Case {
    const char* what;
    void (*plant)();
  };
  const std::vector<Case> cases {
    {"block 0 wrong", [] { wrongBlock = 0; }}, {"block 1 wrong", [] { wrongBlock = 1; }},
#if !defined(_WIN32)
        {"MAC not restarted", [] { mac::noRestart = true; }},
#endif
  };
  const auto ann = Join("Ann");
  const std::string failed = "Rollmoot: Roll audit: self-test failed";
  AuditReferenceMac = &PlantedReference;
  for (const Case& c : cases) {
    c.plant();
    const std::size_t logged = LogMessages().size();
    StartAudit(AuditClock::now());
    ASSERT_EQ(LogMessages().size(), logged + 1) << c.what;
    EXPECT_EQ(LogMessages().back(), failed) << c.what;
    EXPECT_EQ(sink_->Entries().back().Level, spdlog::level::err) << c.what;
    EXPECT_FALSE(AuditKeyLive()) << c.what;

    simhost::ClearInboxes();
    Type(ann, "/pd20 2");
    EXPECT_EQ(Told(ann), std::vector<std::string>{"Cannot roll now: no secure random source"})
        << c.what;
    ASSERT_EQ(LogMessages().size(), logged + 2) << c.what;
    EXPECT_EQ(LogMessages().back(), failed) << c.what;

    wrongBlock = -1;
#if !defined(_WIN32)
    mac::noRestart = false;
#endif
    Type(ann, "/pd20 2");  // no cooldown was started
    const std::vector<std::string> log = LogMessages();
    ASSERT_EQ(log.size(), logged + 4) << c.what;
    EXPECT_EQ(log[logged + 2].rfind("Rollmoot: Roll audit: commitment ", 0), 0u) << c.what;
    EXPECT_EQ(log[logged + 3].rfind("Rollmoot: Roll audit: #1 \"Ann\" d20:", 0), 0u) << c.what;
    EndAudit();
    ClearCooldowns();
  }
}

UtcSeconds Dec8At224107() noexcept {
  return 1796769667;
}

// /dicekey tells the asker alone what to note: the key in use (its commitment in full, when it
// was committed, the rolls so far) and, once a key has been revealed, that key and its
// commitment, so a player can check the one against the other. It rolls nothing, logs nothing,
// starts no cooldown and is not refused by one. Templates come from Messages.
TEST_F(AuditCommands, DiceKeyTellsTheAskerTheKeyInUseAndTheLastOneRevealed) {
  UtcNow = &Dec8At224107;
  const auto ann = Join("Ann");
  const auto bob = Join("Bob");
  const auto ask = [&](simhost::PlayerId who) {
    simhost::ClearInboxes();
    const std::size_t logged = LogMessages().size();
    TellDiceKey(simhost::Controller(who));
    EXPECT_EQ(LogMessages().size(), logged) << "logged";
    EXPECT_TRUE(Told(who == ann ? bob : ann).empty()) << "told somebody else";
    return Told(who);
  };
  StartAudit(AuditClock::now());
  const std::string first = LastHex("Rollmoot: Roll audit: commitment ");
  EXPECT_EQ(ask(ann), std::vector<std::string>{"Roll audit key " + first +
                                               ", committed 2026-12-08T22:41:07Z, 0 rolls so far"});
  Type(ann, "/d20");
  Type(bob, "/d6 2");
  EXPECT_EQ(ask(ann), std::vector<std::string>{"Roll audit key " + first +
                                               ", committed 2026-12-08T22:41:07Z, 2 rolls so far"});
  EXPECT_EQ(AuditedRolls(), 2u);

  AuditFeed rotate(AuditClock::now() + AuditKeyLifetime);  // the next roll's key
  const std::string key = LastHex("Rollmoot: Roll audit: key ");
  const std::string second = LastHex("Rollmoot: Roll audit: commitment ");
  ASSERT_NE(first, second);
  EXPECT_EQ(ask(bob),
            (std::vector<std::string>{
                "Roll audit key " + second + ", committed 2026-12-08T22:41:07Z, 0 rolls so far",
                "Last revealed key " + key + " for commitment " + first}));

  ASSERT_EQ(ParseMessage(MessageId::DiceKey, U"{rolls}|{time}|{commitment}",
                         Messages[static_cast<std::size_t>(MessageId::DiceKey)])
                .Error,
            TemplateError::None);
  ASSERT_EQ(ParseMessage(MessageId::DiceKeyRevealed, U"{commitment} \U0001F511 {key}",
                         Messages[static_cast<std::size_t>(MessageId::DiceKeyRevealed)])
                .Error,
            TemplateError::None);
  ASSERT_EQ(ParseMessage(MessageId::DiceKeyNone, U"kein Schl\u00FCssel",
                         Messages[static_cast<std::size_t>(MessageId::DiceKeyNone)])
                .Error,
            TemplateError::None);
  EXPECT_EQ(ask(ann), (std::vector<std::string>{"0|2026-12-08T22:41:07Z|" + second,
                                                first + " \xF0\x9F\x94\x91 " + key}));
  EndAudit();  // no key in use now: the None line, then the last revealed
  const std::string last = LastHex("Rollmoot: Roll audit: key ");
  EXPECT_EQ(ask(ann), (std::vector<std::string>{"kein Schl\xC3\xBCssel",
                                                second + " \xF0\x9F\x94\x91 " + last}));
  Messages = DefaultMessages;

  // The cooldown neither refuses it nor is started by it.
  StartAudit(AuditClock::now());
  ClearCooldowns();
  EXPECT_EQ(ask(ann).size(), 1u) << "a new load has revealed nothing yet";
  simhost::ClearInboxes();
  Type(ann, "/d4");
  EXPECT_EQ(Told(ann).size(), 1u);
  EXPECT_EQ(Told(ann)[0].rfind("Ann rolled 1d4", 0), 0u) << Told(ann)[0];
  EXPECT_EQ(ask(ann).size(), 1u);
  UtcNow = &SystemUtcNow;
}

#if !defined(_WIN32)

// No key to be had (at load, and at the roll), or a hash that fails in the middle of a roll:
// the roll is refused with the secure-rolls line to the roller alone and one error line, no
// cooldown starts, and the next roll tries again. A key that failed mid-roll is revealed, so
// the rolls it recorded can still be checked.
TEST_F(AuditCommands, FailedSourceOrHashRefusesTheRollAndTheNextRollTriesAgain) {
  const auto ann = Join("Ann");
  const auto bob = Join("Bob");
  const std::string refusal = "Cannot roll now: no secure random source";
  const std::string error = "Rollmoot: Roll audit: no secure random source";

  source::shortBy = 1;  // a key a byte short is no key
  StartAudit(AuditClock::now());
  EXPECT_EQ(LogMessages(), std::vector<std::string>{error});
  source::fail = true;
  StartAudit(AuditClock::now());
  EXPECT_EQ(LogMessages(), std::vector<std::string>(2, error));
  TellDiceKey(simhost::Controller(bob));
  EXPECT_EQ(Told(bob), std::vector<std::string>{"Roll audit: no key yet"});
  simhost::ClearInboxes();
  for (const char* command : {"/d20 3", "/pd6", "/roll 1d4"}) {
    simhost::ClearInboxes();
    const std::size_t logged = LogMessages().size();
    Type(ann, command);
    EXPECT_EQ(Told(ann), std::vector<std::string>{refusal}) << command;
    EXPECT_TRUE(Told(bob).empty());
    ASSERT_EQ(LogMessages().size(), logged + 1);
    EXPECT_EQ(LogMessages().back(), error);
    EXPECT_EQ(sink_->Entries().back().Level, spdlog::level::err);
  }
  source::fail = false;
  Type(ann, "/d20 2");  // no cooldown was started: this one rolls, under a new key
  std::vector<std::string> log = LogMessages();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2].rfind("Rollmoot: Roll audit: commitment ", 0), 0u);
  EXPECT_EQ(log.back().rfind("Rollmoot: Roll audit: #1 \"Ann\" d20:", 0), 0u);

  ClearCooldowns();
  Type(ann, "/d20 2");
  ClearCooldowns();
  simhost::ClearInboxes();
  mac::fail = true;
  const std::size_t logged = LogMessages().size();
  Type(ann, "/d20 100");  // needs a new block, whatever is left of the last
  EXPECT_EQ(Told(ann), std::vector<std::string>{refusal});
  log = LogMessages();
  ASSERT_EQ(log.size(), logged + 2);
  EXPECT_TRUE(std::regex_match(log[logged],
                               std::regex("Rollmoot: Roll audit: key [0-9a-f]{64} after 2 rolls")))
      << log[logged];
  EXPECT_EQ(log[logged + 1], error);
  EXPECT_FALSE(AuditKeyLive());

  mac::fail = false;
  simhost::ClearInboxes();
  Type(ann, "/d20 2");
  EXPECT_EQ(Told(ann).size(), 1u);
  EXPECT_EQ(Records().back().rfind("#1 \"Ann\"", 0), 0u);
  EXPECT_EQ(RollDie(6), 5) << "the engine stood in for a failed audit";
}

#endif

}  // namespace
