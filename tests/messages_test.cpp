// The operator's templates as players meet them: every placeholder filled in, braces written
// as braces, and substituted text shown as it is, never read as a template again.
#include "dice/messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dice/engine.h"
#include "dice/notation.h"
#include "dice/roll_line.h"
#include "host_fixture.h"

namespace {

class MessagesTest : public HostTest {
 protected:
  void TearDown() override {
    Messages = DefaultMessages;
    HostTest::TearDown();
  }
};

using Templates = std::vector<std::pair<MessageId, std::u32string>>;

void Use(const Templates& templates) {
  Messages = DefaultMessages;
  for (const auto& [id, text] : templates) {
    ASSERT_EQ(ParseMessage(id, text, Messages[static_cast<std::size_t>(id)]).Error,
              TemplateError::None)
        << MessageNames[static_cast<std::size_t>(id)];
  }
}

std::string Text(const WideChar* line) {
  return utf::WideToUtf8(line);
}

// A fixed command's line for `name`: d20 draws 17, 3, 19 from seed 5489.
std::string Fixed(const std::string& name, std::int32_t count) {
  const std::int32_t results[] = {17, 3, 19};
  std::int64_t total = 0;
  for (std::int32_t i = 0; i < count; ++i) total += results[i];
  const FString host(utf::Utf8ToWide(name).c_str());
  Line line;
  BuildLine(line, host, count, 20, results, total);
  return Text(line.data());
}

// The /roll line, or its refusal, for `text` typed by `name`.
std::string Notated(const std::string& name, const std::string& text, std::int32_t maxDice = 100) {
  DiceEngine = SeededEngine(5489);
  const WideString typed = utf::Utf8ToWide(text);
  const Notation notation = ParseNotation(typed, maxDice);
  NotationLine line;
  if (notation.Error != NotationError::None) {
    WriteNotationError(line, typed, notation);
  } else {
    NotationDraw draw;
    DrawNotation(notation, draw);
    WriteNotationLine(line, utf::Utf8ToWide(name), notation, draw);
  }
  return Text(line.data());
}

std::string Waiting(std::int32_t seconds) {
  Line line;
  BuildWaitLine(line, seconds);
  return Text(line.data());
}

std::string NoSource() {
  Line line;
  BuildNoSecureSourceLine(line);
  return Text(line.data());
}

const std::u32string Where = U"{where}";

TEST_F(MessagesTest, EveryPlaceholderBracesAndNamesAsTheyAre) {
  struct Case {
    const char* What;
    Templates Use;
    std::function<std::string()> Line;
    std::string Expected;
  };
  const std::string braces = "{total}{{name}}}{";
  const std::vector<Case> cases{
      {"one die, every placeholder",
       {{MessageId::Roll, U"{results}={sides}/{count}/{total} {name}"}},
       [&] { return Fixed("Ann", 1); },
       "17=20/1/17 Ann"},
      {"several dice",
       {{MessageId::RollMany, U"{total} \u2190 {results} ({count}W{sides}, {name})"}},
       [&] { return Fixed("Ann", 3); },
       "39 \xE2\x86\x90 17, 3, 19 (3W20, Ann)"},
      {"braces",
       {{MessageId::Roll, U"{{{name}}} }}{{ {{count}}"}},
       [&] { return Fixed("Ann", 1); },
       "{Ann} }{ {count}"},
      {"a name full of braces",
       {},
       [&] { return Fixed(braces, 2); },
       braces + " rolled 2d20 and got: 17, 3 (Total: 20)"},
      {"a name full of braces, in a template",
       {{MessageId::RollMany, U"{name}: {total}"}},
       [&] { return Fixed(braces, 2); },
       braces + ": 20"},
      {"/roll",
       {{MessageId::Notation, U"{parts} = {total} \u2190 {expression} ({name})"}},
       [&] { return Notated(braces, "2d20kh1 + 5"); },
       "[17, (3)] + 5 = 22 \xE2\x86\x90 2d20kh1+5 (" + braces + ")"},
      {"cooldown",
       {{MessageId::Wait, U"noch {seconds} s"}},
       [&] { return Waiting(7); },
       "noch 7 s"},
      {"no secure source",
       {{MessageId::NoSecureSource, U"Jetzt nicht"}},
       [&] { return NoSource(); },
       "Jetzt nicht"},
      {"a refusal, its reason and where",
       {{MessageId::CannotRoll, U"\u201E{text}\u201C: {reason}!"},
        {MessageId::SpaceInTerm, U"Leerzeichen " + Where},
        {MessageId::AtCharacter, U"an Stelle {position}"}},
       [&] { return Notated("Ann", "2 d6"); },
       "\xE2\x80\x9E"
       "2 d6\xE2\x80\x9C: Leerzeichen an Stelle 2!"},
      {"typed braces are shown, not read",
       {{MessageId::ExpectedTerm, U"erwartet " + Where},
        {MessageId::AtCharacter, U"bei {position}"}},
       [&] { return Notated("Ann", "{reason}{{text}"); },
       "Cannot roll \"{reason}{{text}\": erwartet bei 1"},
      {"at the end",
       {{MessageId::ExpectedSides, Where + U"?"}, {MessageId::AtEnd, U"am Ende"}},
       [&] { return Notated("Ann", "2d"); },
       "Cannot roll \"2d\": am Ende?"},
      {"no place at all",
       {{MessageId::ExplodesEveryFace, U"explodiert"}},
       [&] { return Notated("Ann", "2d6!>0"); },
       "Cannot roll \"2d6!>0\": explodiert"},
      {"the modifier named, and where",
       {{MessageId::RepeatedModifier, U"{where}: {{{modifier}}}"}},
       [&] { return Notated("Ann", "4d6k3kl"); },
       "Cannot roll \"4d6k3kl\": at character 6: {kl}"},
      {"a modifier's number missing",
       {{MessageId::ExpectedNumber, U"Zahl " + Where}, {MessageId::AtEnd, U"am Ende"}},
       [&] { return Notated("Ann", "4d6>"); },
       "Cannot roll \"4d6>\": Zahl am Ende"},
      {"drop, compare and label limits",
       {{MessageId::DropRange, U"D {max}"},
        {MessageId::CompareRange, U"C {max}"},
        {MessageId::LabelTooLong, U"L {max}"}},
       [&] {
         return Notated("Ann", "2d6d3") + "|" + Notated("Ann", "2d6>100001") + "|" +
                Notated("Ann", "d6 #" + std::string(41, 'x'));
       },
       "Cannot roll \"2d6d3\": D 2|Cannot roll \"2d6>100001\": C 100000|Cannot roll \"d6 #" +
           std::string(36, 'x') + "...\": L 40"},
      {"a label, braces shown as typed",
       {{MessageId::NotationLabelled, U"{label}: {name} {expression} {parts} {total}"}},
       [&] { return Notated("Ann", "d20+1 # {name} {{x}"); },
       "{name} {{x}: Ann 1d20+1 [17] + 1 18"},
      {"unexpected character",
       {{MessageId::UnexpectedCharacter, U"x " + Where}},
       [&] { return Notated("Ann", "2d6x"); },
       "Cannot roll \"2d6x\": x at character 4"},
      {"count",
       {{MessageId::CountRange, U"C {max}"}},
       [&] { return Notated("Ann", "0d6"); },
       "Cannot roll \"0d6\": C 100"},
      {"sides",
       {{MessageId::SidesRange, U"S {max}..{min}"}},
       [&] { return Notated("Ann", "2d1"); },
       "Cannot roll \"2d1\": S 1000..2"},
      {"keep",
       {{MessageId::KeepRange, U"K {max}"}},
       [&] { return Notated("Ann", "2d6kh3"); },
       "Cannot roll \"2d6kh3\": K 2"},
      {"number",
       {{MessageId::NumberRange, U"N {max}"}},
       [&] { return Notated("Ann", "100001"); },
       "Cannot roll \"100001\": N 100000"},
      {"terms, counted",
       {{MessageId::TooManyTerms, U"T {max}"}},
       [&] { return Notated("Ann", "1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1"); },
       "Cannot roll \"1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+...\": T 20"},
      {"dice",
       {{MessageId::TooManyDice, U"D {max}"}},
       [&] { return Notated("Ann", "3d6", 2); },
       "Cannot roll \"3d6\": D 2"},
      {"one die",
       {{MessageId::OneDieOnly, U"nur {max} W\u00FCrfel"}},
       [&] { return Notated("Ann", "3d6", 1); },
       "Cannot roll \"3d6\": nur 1 W\xC3\xBC"
       "rfel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    Use(c.Use);
    EXPECT_EQ(c.Line(), c.Expected);
  }
}

}  // namespace
