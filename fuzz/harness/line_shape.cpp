#include "fuzz/harness/line_shape.h"

namespace fuzz {
namespace {

// A cursor over the line; every read either consumes what it expects or leaves the
// cursor where it was and says no.
class Cursor {
 public:
  explicit Cursor(WideStringView text) : rest_(text) {}

  bool Literal(const char* ascii) {
    WideStringView r = rest_;
    for (const char* c = ascii; *c != 0; ++c) {
      if (r.empty() || r.front() != static_cast<WideChar>(*c)) return false;
      r.remove_prefix(1);
    }
    rest_ = r;
    return true;
  }

  // A positive decimal without sign or leading zero, at most 10 digits.
  bool Number(std::int64_t& value) {
    std::size_t digits = 0;
    value = 0;
    while (digits < rest_.size() && rest_[digits] >= '0' && rest_[digits] <= '9') {
      if (digits == 10) return false;
      value = value * 10 + (rest_[digits] - '0');
      ++digits;
    }
    if (digits == 0 || rest_[0] == '0') return false;
    rest_.remove_prefix(digits);
    return true;
  }

  bool AtEnd() const { return rest_.empty(); }

 private:
  WideStringView rest_;
};

}  // namespace

std::string CheckLineShape(WideStringView line, WideStringView name, int sides, ParsedRoll& roll) {
  roll = {};
  if (line.substr(0, name.size()) != name) return "line does not start with the name";
  Cursor at(line.substr(name.size()));
  std::int64_t shownSides = 0;
  if (!at.Literal(" rolled ") || !at.Number(roll.Count) || !at.Literal("d") ||
      !at.Number(shownSides) || !at.Literal(" and got: ")) {
    return "malformed head";
  }
  if (shownSides != sides) return "wrong number of sides";
  for (;;) {
    std::int64_t value = 0;
    if (!at.Number(value)) return "malformed value";
    if (value < 1 || value > sides) return "value outside 1..sides";
    roll.Values.push_back(value);
    roll.Total += value;
    if (!at.Literal(", ")) break;
  }
  if (roll.Count == 1) {
    if (roll.Values.size() != 1 || !at.AtEnd()) return "single-die line with more after it";
    return {};
  }
  std::int64_t total = 0;
  if (!at.Literal(" (Total: ") || !at.Number(total) || !at.Literal(")") || !at.AtEnd()) {
    return "malformed total";
  }
  if (roll.Count < 2 || roll.Count > 100) return "count outside 2..100";
  if (static_cast<std::int64_t>(roll.Values.size()) != roll.Count) return "count != values";
  if (total != roll.Total) return "total is not the sum";
  return {};
}

}  // namespace fuzz
