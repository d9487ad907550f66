// rollmoot-fairness: are the dice rigged? Rolls each die through the plugin's own draw (or
// reads values someone else rolled) and tests the spread and the independence of the rolls.
#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dice/engine.h"
#include "dice/secure_feed.h"
#include "report.h"

namespace {

constexpr char Usage[] =
    "usage: rollmoot-fairness [--rolls N] [--seed S | --secure] [--sides 3,4,6,...] [--csv FILE]\n"
    "       rollmoot-fairness --values FILE|- --sides S [--csv FILE]\n"
    "Rolls N dice of each size (default 1000000 of each of 3,4,6,8,10,12,20) with the\n"
    "plugin's own engine and draw, seeded from the random device unless --seed is given\n"
    "(--secure: the plugin's draw from the system's secure source, as with SecureRolls on),\n"
    "or tests the values in FILE (whitespace-separated, in rolling order) as rolls of one\n"
    "S-sided die. Prints face counts, a chi-square test of the spread and two tests of\n"
    "independence between consecutive rolls per die, with a verdict. --csv writes\n"
    "size,face,count,expected rows. Exit status: 0 all fair, 1 something suspicious,\n"
    "2 bad usage or input.\n";

struct Options {
  std::uint64_t Rolls = 1000000;
  std::optional<std::uint32_t> Seed;
  std::vector<int> Sides = {3, 4, 6, 8, 10, 12, 20};
  bool SidesGiven = false;
  std::optional<std::string> Csv;
  std::optional<std::string> Values;
  bool Secure = false;
};

template <class Number>
bool ParseNumber(const std::string& text, Number& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end;
}

bool ParseSides(const std::string& text, std::vector<int>& sides) {
  sides.clear();
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    int value = 0;
    if (!ParseNumber(text.substr(start, comma - start), value) || value < 2 || value > 1000) {
      return false;
    }
    sides.push_back(value);
    start = comma + 1;
  }
  return !sides.empty();
}

std::optional<Options> ParseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(Usage, stdout);
      std::exit(0);
    }
    if (arg == "--secure") {
      options.Secure = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "rollmoot-fairness: %s needs a value\n", arg.c_str());
      return std::nullopt;
    }
    const std::string value = argv[++i];
    bool ok = true;
    if (arg == "--rolls") {
      ok = ParseNumber(value, options.Rolls) && options.Rolls >= 1 && options.Rolls <= 1000000000;
    } else if (arg == "--seed") {
      std::uint32_t seed = 0;
      ok = ParseNumber(value, seed);
      options.Seed = seed;
    } else if (arg == "--sides") {
      ok = ParseSides(value, options.Sides);
      options.SidesGiven = true;
    } else if (arg == "--csv") {
      options.Csv = value;
    } else if (arg == "--values") {
      options.Values = value;
    } else {
      std::fprintf(stderr, "rollmoot-fairness: unknown option %s\n%s", arg.c_str(), Usage);
      return std::nullopt;
    }
    if (!ok) {
      std::fprintf(stderr, "rollmoot-fairness: bad value for %s: %s\n", arg.c_str(), value.c_str());
      return std::nullopt;
    }
  }
  if (options.Values && (!options.SidesGiven || options.Sides.size() != 1)) {
    std::fprintf(stderr, "rollmoot-fairness: --values needs --sides with exactly one size\n");
    return std::nullopt;
  }
  if (options.Secure && (options.Seed || options.Values)) {
    std::fprintf(stderr, "rollmoot-fairness: --secure takes no --seed and no --values\n");
    return std::nullopt;
  }
  return options;
}

// Every die from one feed; false when the feed failed.
template <class Feed>
bool Roll(Feed& feed, const Options& options, std::vector<std::pair<int, std::vector<int>>>& dice) {
  for (int sides : options.Sides) {
    std::vector<int> rolls;
    rolls.reserve(options.Rolls);
    for (std::uint64_t i = 0; i < options.Rolls; ++i) {
      rolls.push_back(RollDieFrom(feed, static_cast<std::uint32_t>(sides)));
    }
    dice.emplace_back(sides, std::move(rolls));
  }
  return feed.Ok();
}

// Values as rolled elsewhere; anything that is no face of the die is an error, since a
// count that could never come up says more than any statistic.
std::optional<std::vector<int>> ReadValues(const std::string& path, int sides) {
  std::ifstream file;
  if (path != "-") {
    file.open(path);
    if (!file) {
      std::fprintf(stderr, "rollmoot-fairness: cannot read %s\n", path.c_str());
      return std::nullopt;
    }
  }
  std::istream& in = path == "-" ? std::cin : file;
  std::vector<int> rolls;
  std::string word;
  while (in >> word) {
    int value = 0;
    if (!ParseNumber(word, value) || value < 1 || value > sides) {
      std::fprintf(stderr, "rollmoot-fairness: %s is not a face of a d%d\n", word.c_str(), sides);
      return std::nullopt;
    }
    rolls.push_back(value);
  }
  return rolls;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = ParseArguments(argc, argv);
  if (!options) return 2;

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> csv(nullptr, &std::fclose);
  if (options->Csv) {
    csv.reset(std::fopen(options->Csv->c_str(), "w"));
    if (!csv) {
      std::fprintf(stderr, "rollmoot-fairness: cannot write %s\n", options->Csv->c_str());
      return 2;
    }
    std::fputs("size,face,count,expected\n", csv.get());
  }

  std::vector<std::pair<int, std::vector<int>>> dice;
  if (options->Values) {
    auto rolls = ReadValues(*options->Values, options->Sides.front());
    if (!rolls) return 2;
    std::printf("Rollmoot fairness report: %zu values from %s\n", rolls->size(),
                options->Values->c_str());
    dice.emplace_back(options->Sides.front(), std::move(*rolls));
  } else if (options->Secure) {
    std::printf("Rollmoot fairness report: %" PRIu64
                " rolls per die, the system's secure source (the plugin's own draw)\n",
                options->Rolls);
    SecureFeed feed;
    if (!Roll(feed, *options, dice)) {
      std::fprintf(stderr, "rollmoot-fairness: the system random source failed\n");
      return 2;
    }
  } else {
    const std::uint32_t seed = options->Seed.value_or(LoadSeed(&PlatformRandomDevice));
    DiceEngine = SeededEngine(seed);
    std::printf("Rollmoot fairness report: %" PRIu64
                " rolls per die, seed %u (MT19937, the plugin's own draw)\n",
                options->Rolls, seed);
    EngineFeed feed;
    Roll(feed, *options, dice);
  }
  std::printf(
      "Each p says how often a fair die looks at least this uneven; below %g is "
      "suspicious.\n\n",
      fairness::SuspiciousBelow);

  int suspicious = 0;
  for (const auto& [sides, rolls] : dice) {
    const fairness::DieReport report = fairness::Analyse(rolls, sides);
    fairness::Print(stdout, report);
    if (csv) fairness::WriteCsvRows(csv.get(), report);
    suspicious += report.Suspicious ? 1 : 0;
  }
  if (suspicious == 0) {
    std::printf("Overall: every die behaves like a fair one.\n");
  } else {
    std::printf(
        "Overall: %d of %zu dice look suspicious. A fair set of dice does this now and "
        "then; run again with more rolls before drawing conclusions.\n",
        suspicious, dice.size());
  }
  return suspicious == 0 ? 0 : 1;
}
