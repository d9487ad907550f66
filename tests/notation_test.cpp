#include "dice/notation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dice/engine.h"
#include "host/utf.h"
#include "tests/support/longest_messages.h"

namespace {

WideString Wide(const std::string& utf8) {
  return utf::Utf8ToWide(utf8);
}

// What the player would see for `text`: the roll line or the error line, from seed 5489
// (d20 draws 17, 3, 19, 17, 3; d6 draws 5, 1, 6).
WideString RollWide(const WideString& text, std::int32_t maxDice = 100) {
  DiceEngine = SeededEngine(5489);
  const Notation notation = ParseNotation(text, maxDice);
  NotationLine line;
  if (notation.Error != NotationError::None) {
    WriteNotationError(line, text, notation);
  } else {
    NotationDraw draw;
    DrawNotation(notation, draw);
    WriteNotationLine(line, HOST_TEXT("Nomad"), notation, draw);
  }
  EXPECT_EQ(line.data()[line.size()], 0) << "line not terminated";
  return WideString(line.data(), line.size());
}

std::string Roll(const std::string& text, std::int32_t maxDice = 100) {
  return utf::WideToUtf8(RollWide(Wide(text), maxDice));
}

std::string Trim(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t");
  return text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(Notation, WritesTheExpressionBackInOneForm) {
  const std::string zeros(30, '0');
  const std::vector<std::pair<std::string, std::string>> cases{
      {"2D20KH + 05", "2d20kh1+5"},
      {"d%", "1d100"},
      {"2d%Kl", "2d100kl1"},
      {"", "1d20"},
      {" \t ", "1d20"},
      {"\t3d6 -1d4\t", "3d6-1d4"},
      {"d20\t+\td20 - 7", "1d20+1d20-7"},
      {"003D0006kH002", "3d6kh2"},
      {"000", "0"},
      {zeros + "1d" + zeros + "6kl" + zeros + "1", "1d6kl1"},
      {"1+2-3", "1+2-3"},
  };
  for (const auto& [text, expression] : cases) {
    const std::string line = Roll(text);
    const std::size_t from = line.find(" rolled "), to = line.find(" and got: ");
    ASSERT_NE(to, std::string::npos) << text << " -> " << line;
    EXPECT_EQ(line.substr(from + 8, to - from - 8), expression) << text;
  }
}

TEST(Notation, ShowsEveryDieAndLeavesOutTheDroppedOnes) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"2d20kh1+5", "2d20kh1+5 and got: [17, (3)] + 5 (Total: 22)"},
      {"3d6-1d4", "3d6-1d4 and got: [5, 1, 6] - [4] (Total: 8)"},
      {"1-2d20", "1-2d20 and got: 1 - [17, 3] (Total: -19)"},
      {"", "1d20 and got: [17] (Total: 17)"},
      {"0", "0 and got: 0 (Total: 0)"},
      // 17, 3, 19, 17, 3: of equal values the earlier drawn are kept first.
      {"5d20kh2", "5d20kh2 and got: [17, (3), 19, (17), (3)] (Total: 36)"},
      {"5d20kh4", "5d20kh4 and got: [17, 3, 19, 17, (3)] (Total: 56)"},
      {"5d20kl1", "5d20kl1 and got: [(17), 3, (19), (17), (3)] (Total: 3)"},
      {"5d20kl3", "5d20kl3 and got: [17, 3, (19), (17), 3] (Total: 23)"},
      {"5d20kh5", "5d20kh5 and got: [17, 3, 19, 17, 3] (Total: 59)"},
  };
  for (const auto& [text, rest] : cases) EXPECT_EQ(Roll(text), "Nomad rolled " + rest) << text;
}

// Each limit at its edge and one past it; "" where the roll goes ahead.
TEST(Notation, LimitsHoldAtTheirEdges) {
  struct Case {
    std::string Text;
    std::int32_t MaxDice;
    std::string Reason;
  };
  const std::string zeros(30, '0');
  const std::string twentyTerms = Repeat("1+", 19) + "1";
  const std::vector<Case> cases{
      {"100d2", 100, ""},
      {"101d2", 100, "count must be 1 to 100"},
      {"0d6", 100, "count must be 1 to 100"},
      {"1" + zeros + "d6", 100, "count must be 1 to 100"},
      {"1d2", 100, ""},
      {"1d1", 100, "sides must be 2 to 1000"},
      {"1d1000", 100, ""},
      {"1d1001", 100, "sides must be 2 to 1000"},
      {"1d1" + zeros, 100, "sides must be 2 to 1000"},
      {"1d4294967302", 100, "sides must be 2 to 1000"},  // 2^32 + 6
      {"3d6kh3", 100, ""},
      {"3d6kh4", 100, "keep must be 1 to 3"},
      {"3d6kl0", 100, "keep must be 1 to 3"},
      {"100000", 100, ""},
      {"100001", 100, "number must be 0 to 100000"},
      {"1" + zeros, 100, "number must be 0 to 100000"},
      {"4294967296", 100, "number must be 0 to 100000"},
      {twentyTerms, 100, ""},
      {twentyTerms + "+1", 100, "at most 20 terms"},
      {"50d6+50d6", 100, ""},
      {"50d6+51d6", 100, "at most 100 dice in one roll"},
      {"5d6+5d6", 10, ""},
      {"5d6+6d6", 10, "at most 10 dice in one roll"},
      {"d6", 1, ""},
      {"2d6", 1, "at most 1 die in one roll"},
      {"100d6", 1000, ""},  // the limit itself is kept within 1..100
      {"50d6+51d6", 1000, "at most 100 dice in one roll"},
      {"2d6", 0, "at most 1 die in one roll"},
  };
  for (const Case& c : cases) {
    const std::string line = Roll(c.Text, c.MaxDice);
    if (c.Reason.empty()) {
      EXPECT_EQ(line.rfind("Nomad rolled ", 0), 0u) << c.Text << " -> " << line;
    } else {
      EXPECT_EQ(line.rfind("Cannot roll \"", 0), 0u) << c.Text << " -> " << line;
      EXPECT_TRUE(line.ends_with("\": " + c.Reason)) << c.Text << " -> " << line;
    }
  }
}

TEST(Notation, SaysWhatIsWrongAndWhere) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"2d6+", "expected a number or a die at the end"},
      {"+2d6", "expected a number or a die at character 1"},
      {"-1d6", "expected a number or a die at character 1"},
      {"2d6 + x", "expected a number or a die at character 7"},
      {"\xEF\xBC\x92"
       "d6",
       "expected a number or a die at character 1"},  // full-width 2
      {"2d", "expected the number of sides at the end"},
      {"2dx", "expected the number of sides at character 3"},
      {"2d +1", "expected the number of sides at character 3"},
      {"2d6k", "expected kh or kl at character 4"},
      {"2d6kx1", "expected kh or kl at character 4"},
      {"2 d6", "no space allowed inside a term at character 2"},
      {"1 0d6", "no space allowed inside a term at character 2"},
      {"2d20 kh1", "no space allowed inside a term at character 5"},
      {"2d\t6", "no space allowed inside a term at character 3"},
      {"2d6k h", "no space allowed inside a term at character 5"},
      {"2d6kh 1", "no space allowed inside a term at character 6"},
      {"2d6x", "unexpected character at character 4"},
      {"2d6 x", "unexpected character at character 5"},
      {"2d% 5", "unexpected character at character 5"},
      {"2d6kh1 k", "unexpected character at character 8"},
      {"2d6\xC3\xA9", "unexpected character at character 4"},  // é
      {"  2d6*2 ", "unexpected character at character 4"},     // counted from the trimmed text
  };
  for (const auto& [text, reason] : cases) {
    EXPECT_EQ(Roll(text), "Cannot roll \"" + Trim(text) + "\": " + reason) << text;
  }
}

// A refusal after whole dice terms still draws none of them.
TEST(Notation, RefusedExpressionDrawsNothing) {
  DiceEngine = SeededEngine(5489);
  const Notation notation = ParseNotation(HOST_TEXT("3d6 + x"), 100);
  ASSERT_EQ(notation.Error, NotationError::ExpectedTerm);
  NotationDraw draw;
  DrawNotation(notation, draw);
  EXPECT_EQ(draw.Count, 0);
  EXPECT_EQ(draw.Total, 0);
  EXPECT_EQ(RollDie(6), 5) << "the engine moved";
}

// The text is shown as typed, trimmed, cut after 40 characters; a surrogate pair is one.
TEST(Notation, ErrorLineShowsTheTextCutToFortyCharacters) {
  const WideString die = Wide("\xF0\x9F\x8E\xB2");  // one character, two units
  const WideString x39(39, WideChar{'x'}), x40(40, WideChar{'x'});
  const WideString lone(1, static_cast<WideChar>(0xD800));
  const std::vector<std::pair<WideString, WideString>> cases{
      {x40, x40},
      {x40 + HOST_TEXT("y"), x40 + HOST_TEXT("...")},
      {HOST_TEXT(" \t") + x40 + HOST_TEXT("\t "), x40},
      {x39 + die, x39 + die},
      {x39 + die + HOST_TEXT("y"), x39 + die + HOST_TEXT("...")},
      {x39 + lone + HOST_TEXT("y"), x39 + lone + HOST_TEXT("...")},
      {x39 + lone + die, x39 + lone + HOST_TEXT("...")},
  };
  for (const auto& [text, shown] : cases) {
    const WideString line = RollWide(text);
    EXPECT_EQ(line.substr(0, line.find(HOST_TEXT("\": "))), HOST_TEXT("Cannot roll \"") + shown)
        << utf::WideToUtf8(text);
  }
  WideString withZero = HOST_TEXT("1d6");
  withZero += WideChar{0};
  EXPECT_EQ(utf::WideToUtf8(RollWide(withZero)),
            "Cannot roll \"1d6\xEF\xBF\xBD\": unexpected character at character 4");
}

// The longest line there can be, with a 64-character name and the longest templates, stays
// in the inline room: every roll the grammar allows, and every refusal, is written without a
// heap request.
TEST(Notation, LongestLineFitsTheInlineRoom) {
  ASSERT_TRUE(UseLongestMessages());
  const WideString text = Wide("100d1000kh1" + Repeat("-100000", 19));
  const Notation notation = ParseNotation(text, 100);
  ASSERT_EQ(notation.Error, NotationError::None);
  NotationDraw draw;
  draw.Count = 100;
  for (int i = 0; i < 100; ++i) {
    draw.Values[i] = 1000;
    draw.Dropped[i] = i != 0;
  }
  draw.Total = 1000 - 19 * 100000;
  NotationLine line;
  WriteNotationLine(line, WideString(64, WideChar{'N'}), notation, draw);
  // All but the placeholders' own names is text of two units a character.
  const std::size_t placeholders = std::u32string_view(U"{name}{expression}{parts}{total}").size();
  EXPECT_EQ(line.size() + 1 + 2 * placeholders, NotationLineUnits);
  EXPECT_EQ(line.capacity(), NotationLineUnits) << "the line left the inline room";

  const Notation refused = ParseNotation(Wide(std::string(40, 'x') + "y"), 100);
  WriteNotationError(line, Wide(std::string(40, 'x') + "y"), refused);
  EXPECT_EQ(line.capacity(), NotationLineUnits) << "the refusal left the inline room";
  Messages = DefaultMessages;
}

}  // namespace
