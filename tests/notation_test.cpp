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
      {"2d6kx1", "unexpected character at character 5"},  // "k" alone is "kh"
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
// heap request. The worst: every value drawn shown with every marker it can carry, twenty
// terms with every modifier at its longest, and a label of 40 two-unit characters.
TEST(Notation, LongestLineFitsTheInlineRoom) {
  ASSERT_TRUE(UseLongestMessages());
  const std::string modifiers = "!p>=100000ro>=100000";
  const std::string label = " # " + Repeat("\xF0\x9F\x8E\xB2", 40);
  const WideString text = Wide("81d1000" + modifiers + "dh81>=100000f>=100000" +
                               Repeat("-1d1000" + modifiers + "kh1>=100000f>=100000", 19) + label);
  const Notation notation = ParseNotation(text, 100);
  ASSERT_EQ(notation.Error, NotationError::None);
  ASSERT_EQ(notation.LabelUnits, 80);
  NotationDraw draw;
  draw.Count = MaxNotationValues;
  for (int t = 0; t < MaxNotationTerms; ++t) draw.TermDice[t] = t == 0 ? 181 : 1;
  for (int i = 0; i < MaxNotationValues; ++i) {
    draw.Values[i] = 1000;
    draw.Dropped[i] = true;
    draw.Marks[i] = MarkExploded | MarkRerolled;
  }
  draw.Total = -2100000;
  NotationLine line;
  WriteNotationLine(line, WideString(64, WideChar{'N'}), notation, draw);
  EXPECT_GT(line.size(), NotationLineUnits * 3 / 4) << "not the worst case";
  EXPECT_EQ(line.capacity(), NotationLineUnits) << "the line left the inline room";

  const Notation refused = ParseNotation(Wide(std::string(40, 'x') + "y"), 100);
  WriteNotationError(line, Wide(std::string(40, 'x') + "y"), refused);
  EXPECT_EQ(line.capacity(), NotationLineUnits) << "the refusal left the inline room";
  Messages = DefaultMessages;
}

}  // namespace

namespace {

// Words that give chosen values of an s-sided die: the middle of each value's share of the
// 32-bit words, which the draw never rejects. Past the script it fails, as a broken feed does.
class ScriptedFeed {
 public:
  ScriptedFeed(std::int32_t sides, std::vector<std::int32_t> values)
      : sides_(sides), values_(std::move(values)) {}
  std::uint32_t Next() noexcept {
    if (next_ == values_.size()) {
      ok_ = false;
      return 0;
    }
    const auto value = static_cast<std::uint64_t>(values_[next_++]);
    return static_cast<std::uint32_t>(((2 * value - 1) << 32) /
                                      (2 * static_cast<std::uint64_t>(sides_)));
  }
  bool Ok() const noexcept { return ok_; }
  std::size_t Used() const { return next_; }

 private:
  std::int32_t sides_;
  std::vector<std::int32_t> values_;
  std::size_t next_ = 0;
  bool ok_ = true;
};

struct Scripted {
  std::string Line;
  NotationDraw Draw;
  std::size_t Used = 0;
  bool Ok = false;
};

// `text` rolled by Nomad with the dice drawn giving `values` in order (as a die of the first
// dice term's sides draws them: 1..3 for dF).
Scripted RollScripted(const std::string& text, std::vector<std::int32_t> values) {
  Scripted out;
  const Notation notation = ParseNotation(Wide(text), 100);
  NotationLine line;
  if (notation.Error != NotationError::None) {
    WriteNotationError(line, Wide(text), notation);
  } else {
    std::int32_t sides = 20;
    for (std::int32_t t = notation.TermCount - 1; t >= 0; --t) {
      if (notation.Terms[t].Dice) sides = notation.Terms[t].Sides;
    }
    ScriptedFeed feed(sides, std::move(values));
    DrawNotation(notation, out.Draw, feed);
    out.Used = feed.Used();
    out.Ok = feed.Ok();
    WriteNotationLine(line, HOST_TEXT("Nomad"), notation, out.Draw);
  }
  out.Line = utf::WideToUtf8({line.data(), line.size()});
  return out;
}

// Each modifier's meaning, default and canonical form, with the dice drawn in the order given;
// every value given must be drawn, and no more.
TEST(Notation, ModifiersApplyInTheirOrderAndWriteBackInFull) {
  struct Case {
    std::string Text;
    std::vector<std::int32_t> Drawn;
    std::string Line;  // after "Nomad rolled "
  };
  const std::vector<Case> cases{
      // The forms players type first.
      {"4d6!", {6, 2, 3, 1, 5}, "4d6!6 and got: [6!, 2, 3, 1, 5] (Total: 17)"},
      {"6d10f1>=8", {9, 3, 10, 1, 8, 4}, "6d10>=8f1 and got: [9*, 3, 10*, 1_, 8*, 4] (Total: 2)"},
      {"4d6d1", {5, 1, 6, 4}, "4d6dl1 and got: [5, (1), 6, 4] (Total: 15)"},
      {"1d20+5 # Perception", {12}, "1d20+5 for Perception and got: [12] + 5 (Total: 17)"},
      {"2d10r1", {1, 1, 7, 4}, "2d10r1 and got: [7r, 4] (Total: 11)"},
      {"2D10RO", {1, 1, 4}, "2d10ro1 and got: [1ro, 4] (Total: 5)"},
      {"4dF", {1, 2, 3, 3}, "4dF and got: [-1, 0, 1, 1] (Total: 1)"},
      // Defaults and canonical forms.
      {"4d6!=6", {1, 2, 3, 4}, "4d6!6 and got: [1, 2, 3, 4] (Total: 10)"},
      {"2d10r", {2, 3}, "2d10r1 and got: [2, 3] (Total: 5)"},
      {"4d6d", {5, 1, 6, 4}, "4d6dl1 and got: [5, (1), 6, 4] (Total: 15)"},
      {"4d6k3", {5, 1, 6, 4}, "4d6kh3 and got: [5, (1), 6, 4] (Total: 15)"},
      {"2d6k", {5, 1}, "2d6kh1 and got: [5, (1)] (Total: 5)"},
      {"4d6=6", {6, 2, 6, 1}, "4d6=6 and got: [6*, 2, 6*, 1] (Total: 2)"},
      {"4df!", {3, 3, 1, 2, 2, 2}, "4dF!1 and got: [1!, 1!, -1, 0, 0, 0] (Total: 1)"},
      {"4dFr", {1, 2, 3, 1, 3, 2}, "4dFr<0 and got: [0r, 1, 1r, 0] (Total: 2)"},
      {"3d6!!>4", {5, 6, 2, 3, 6, 1}, "3d6!!>4 and got: [13!!, 3, 7!!] (Total: 23)"},
      {"3d6!p", {6, 6, 3, 2, 4}, "3d6!p6 and got: [6!p, 5!p, 2, 2, 4] (Total: 19)"},
      {"4d6!>4>5", {5, 6, 1, 2, 3, 4}, "4d6!>4>5 and got: [5!, 6!*, 1, 2, 3, 4] (Total: 1)"},
      {"2d6>=4!r1", {6, 1, 3, 2}, "2d6!6r1>=4 and got: [6!*, 3r, 2] (Total: 1)"},
      {"1d6!7", {6}, "1d6!7 and got: [6] (Total: 6)"},  // a point no face meets
      {"2d6ro<7", {1, 6, 5, 2}, "2d6ro<7 and got: [6ro, 2ro] (Total: 8)"},
      // Ties: kh keeps the earlier of equal dice, dl and dh drop the later.
      {"4d6dh1", {6, 2, 6, 1}, "4d6dh1 and got: [6, 2, (6), 1] (Total: 9)"},
      {"4d6dl2", {1, 3, 1, 1}, "4d6dl2 and got: [1, 3, (1), (1)] (Total: 4)"},
      {"3d6kl2", {4, 2, 4}, "3d6kl2 and got: [4, 2, (4)] (Total: 6)"},
      {"3d6dl3", {2, 3, 4}, "3d6dl3 and got: [(2), (3), (4)] (Total: 0)"},
      // Keep and drop weigh an explosion's dice too; a dropped die keeps its markers but is
      // neither a success nor a failure; success is counted before failure.
      {"4d6!kl1", {6, 1, 2, 3, 4}, "4d6!6kl1 and got: [(6!), 1, (2), (3), (4)] (Total: 1)"},
      {"3d6kh1>=5f1", {5, 6, 1}, "3d6kh1>=5f1 and got: [(5), 6*, (1)] (Total: 1)"},
      {"2d6>=1f1", {1, 2}, "2d6>=1f1 and got: [1*, 2*] (Total: 2)"},
      {"1d6!r<3", {6, 2, 6}, "1d6!6r<3 and got: [6!, 6r] (Total: 12)"},
      // Explosions first; a rerolled die does not explode again; a die an explosion added
      // may be rerolled, and a penetrating one still counts one less.
      {"2d6!r6", {6, 2, 6, 3, 5}, "2d6!6r6 and got: [3!r, 2, 5] (Total: 10)"},
      {"1d6!pr1", {6, 1, 5}, "1d6!p6r1 and got: [6!p, 4r] (Total: 10)"},
      // A compounding chain explodes on each draw's face, rerolls its last draw, and its
      // success compares the sum.
      {"1d6>=10!!", {6, 6, 2}, "1d6!!6>=10 and got: [14!!*] (Total: 1)"},
      {"1d6!!r2", {6, 2, 5}, "1d6!!6r2 and got: [11!!r] (Total: 11)"},
      // Terms with successes are worth them; the others their dice, as before.
      {"2d6>4+2d6-1", {5, 6, 1, 2}, "2d6>4+2d6-1 and got: [5*, 6*] + [1, 2] - 1 (Total: 4)"},
      {"3d6-2d6>=6", {1, 2, 3, 6, 6}, "3d6-2d6>=6 and got: [1, 2, 3] - [6*, 6*] (Total: 4)"},
  };
  for (const Case& c : cases) {
    const Scripted rolled = RollScripted(c.Text, c.Drawn);
    EXPECT_EQ(rolled.Line, "Nomad rolled " + c.Line) << c.Text;
    EXPECT_TRUE(rolled.Ok) << c.Text << ": drew more than given";
    EXPECT_EQ(rolled.Used, c.Drawn.size()) << c.Text << ": drew fewer than given";
    // The audit's values: every one drawn, in order, rerolled-away ones included.
    EXPECT_EQ(
        std::vector<std::int32_t>(rolled.Draw.Drawn, rolled.Draw.Drawn + rolled.Draw.DrawnCount),
        c.Drawn)
        << c.Text;
  }
}

// A roll draws at most 200 values: every typed die, then explosions and rerolls in drawing
// order while room is left; a die that meets its point past that keeps its value and marker.
TEST(Notation, StopsAtTwoHundredValues) {
  const std::vector<std::int32_t> sixes(250, 6);
  struct Case {
    std::string Text;
    std::int32_t Shown;
    std::string Start;  // of the parts
    std::string Last;   // the last die, and what follows
  };
  const std::vector<Case> cases{
      // The first die's chain takes the whole room; the other 99 are drawn all the same.
      {"100d6!", 200, "[6!, 6!, 6!", ", 6!] (Total: 1200)"},
      {"100d6!!", 100, "[606!!, 6!!, 6!!", ", 6!!] (Total: 1200)"},
      // The room is the roll's: later terms' typed dice are kept for, rerolls there find none.
      {"50d6!+50d6r6", 200, "[6!, 6!",
       "] + [6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, "
       "6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, 6r, "
       "6r, 6r, 6r, 6r, 6r, 6r, 6r] (Total: 1200)"},
      {"10d6ro6", 10, "[6ro, 6ro", ", 6ro] (Total: 60)"},
  };
  for (const Case& c : cases) {
    const Scripted rolled = RollScripted(c.Text, sixes);
    EXPECT_EQ(rolled.Draw.Count, c.Shown) << c.Text;
    EXPECT_EQ(rolled.Draw.DrawnCount, c.Text == "10d6ro6" ? 20 : 200) << c.Text;
    EXPECT_EQ(rolled.Used, static_cast<std::size_t>(rolled.Draw.DrawnCount)) << c.Text;
    const std::size_t parts = rolled.Line.find(" and got: ") + 10;
    EXPECT_EQ(rolled.Line.substr(parts, c.Start.size()), c.Start) << c.Text;
    EXPECT_TRUE(rolled.Line.ends_with(c.Last)) << c.Text << " -> " << rolled.Line;
  }
}

// Every new refusal at its edge and past it; "" where the roll goes ahead.
TEST(Notation, ModifierLimitsHoldAtTheirEdges) {
  const std::string forty(40, 'x');
  const std::string dice40 = Repeat("\xF0\x9F\x8E\xB2", 40);  // 40 characters of two units
  const std::vector<std::pair<std::string, std::string>> cases{
      {"d6!>=2", ""},
      {"d6!>=1", "explodes on every face"},
      {"d6!!<7", "explodes on every face"},
      {"d6!p>0", "explodes on every face"},
      {"d6!>0!", "explodes on every face"},  // the first problem from the left
      {"dF!<1", ""},
      {"dF!<2", "explodes on every face"},
      {"d6r<6", ""},
      {"d6r<7", "rerolls on every face"},
      {"dFr>=0", ""},
      {"dFr>=0r", "only one r per term"},
      {"d6ro<7", ""},
      {"4d6f1", "failures need a success count first"},
      {"4d6f1>=5", ""},
      {"4d6!!!", "only one ! per term"},
      {"4d6!2!!3", "only one !! per term"},
      {"4d6!p!p", "only one !p per term"},
      {"4d6rro", "only one ro per term"},
      {"4d6ror", "only one r per term"},
      {"4d6k3d1", "only one dl per term"},
      {"4d6d1k", "only one kh per term"},
      {"4d6kh1kl1", "only one kl per term"},
      {"4d6dl1dh1", "only one dh per term"},
      {"4d6>3<2", "only one < per term"},
      {"4d6>3=2", "only one = per term"},
      {"4d6<=3>=2", "only one >= per term"},
      {"4d6>=3<=2", "only one <= per term"},
      {"4d6<3>2", "only one > per term"},
      {"4d6>3f1f2", "only one f per term"},
      {"3d6dl3", ""},
      {"3d6dl4", "drop must be 1 to 3"},
      {"3d6dh0", "drop must be 1 to 3"},
      {"3d6kh3", ""},
      {"3d6k4", "keep must be 1 to 3"},
      {"4d6>100000", ""},
      {"4d6>100001", "compare number must be 0 to 100000"},
      {"4d6!100001", "compare number must be 0 to 100000"},
      {"4d6r>=100001", "compare number must be 0 to 100000"},
      {"4d6>5f100001", "compare number must be 0 to 100000"},
      {"4d6=0", ""},
      {"d6 #" + forty, ""},
      {"d6 #" + forty + "x", "label must be at most 40 characters"},
      {"#" + dice40, ""},
      {"#" + dice40 + "x", "label must be at most 40 characters"},
      {"4d6>", "expected a number at the end"},
      {"4d6f", "expected a number at the end"},
      {"4d6>5f<", "expected a number at the end"},
      {"4d6>x", "expected a number at character 5"},
      {"4d6> 5", "no space allowed inside a term at character 5"},
      {"4d6 !", "no space allowed inside a term at character 4"},
      {"4d6! p", "no space allowed inside a term at character 5"},
      {"4d6< =5", "no space allowed inside a term at character 5"},
      {"4d6!6 r", "no space allowed inside a term at character 6"},
      {"4d6!6 !", "unexpected character at character 7"},  // one explode per term
      {"2d f", "no space allowed inside a term at character 3"},
      {"2d6+ # x", "expected a number or a die at character 6"},
      {"2dx # x", "expected the number of sides at character 3"},
  };
  for (const auto& [text, reason] : cases) {
    const std::string line = Roll(text);
    if (reason.empty()) {
      EXPECT_EQ(line.rfind("Nomad rolled ", 0), 0u) << text << " -> " << line;
    } else {
      EXPECT_TRUE(line.rfind("Cannot roll \"", 0) == 0 && line.ends_with("\": " + reason))
          << text << " -> " << line;
    }
  }
}

// The label is shown as typed, trimmed, braces and all; control characters, which could
// break a log line, as U+FFFD. With no expression the roll is 1d20; an empty label is none.
TEST(Notation, LabelIsShownAsTypedAndNeverBreaksALine) {
  const std::string fffd = "\xEF\xBF\xBD";
  const std::vector<std::pair<WideString, std::string>> cases{
      {Wide("# Stealth"), "1d20 for Stealth and got: [17] (Total: 17)"},
      {Wide("  #  "), "1d20 and got: [17] (Total: 17)"},
      {Wide("d20#\tAttack {total} #2 "), "1d20 for Attack {total} #2 and got: [17] (Total: 17)"},
      {Wide("0 # a\nRollmoot: forged\r"),
       "0 for a" + fffd + "Rollmoot: forged" + fffd + " and got: 0 (Total: 0)"},
      {Wide("0 # \x7F\xC2\x85|\xE2\x80\xA8|\xE2\x80\xA9|\x1B"),
       "0 for " + fffd + fffd + "|" + fffd + "|" + fffd + "|" + fffd + " and got: 0 (Total: 0)"},
      {HOST_TEXT("0 # a") + WideString(1, WideChar{0}) + HOST_TEXT("b"),
       "0 for a" + fffd + "b and got: 0 (Total: 0)"},
  };
  for (const auto& [text, rest] : cases) {
    EXPECT_EQ(utf::WideToUtf8(RollWide(text)), "Nomad rolled " + rest) << utf::WideToUtf8(text);
  }
}

}  // namespace
