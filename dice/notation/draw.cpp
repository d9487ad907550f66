#include "dice/notation/draw.h"

#include <functional>

// Ranks by a key where greater is better (the value to keep the greatest, its negation to keep
// the least): the keys above the worst one kept all stay, and of those equal to it as many as
// are still wanted, earliest first. Dropping the n least is keeping the rest greatest, so the
// later drawn of equal values goes first.
void MarkDropped(const NotationTerm& term, std::int32_t count, const std::int32_t* values,
                 bool* dropped) {
  std::fill_n(dropped, count, false);
  if (term.Keep == KeepKind::None || count < 1) return;
  const bool drop = term.Keep == KeepKind::DropHigh || term.Keep == KeepKind::DropLow;
  const std::int32_t keep = drop ? count - term.KeepCount : term.KeepCount;
  if (keep >= count) return;
  if (keep < 1) {
    std::fill_n(dropped, count, true);
    return;
  }
  const std::int32_t sign = term.Keep == KeepKind::High || term.Keep == KeepKind::DropLow ? 1 : -1;
  std::int32_t keys[MaxNotationValues];
  for (std::int32_t i = 0; i < count; ++i) keys[i] = sign * values[i];
  std::nth_element(keys, keys + (keep - 1), keys + count, std::greater<>());
  const std::int32_t worstKept = keys[keep - 1];
  std::int32_t tiesKept = keep;
  for (std::int32_t i = 0; i < count; ++i) tiesKept -= sign * values[i] > worstKept ? 1 : 0;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t key = sign * values[i];
    if (key > worstKept) continue;
    if (key == worstKept && tiesKept > 0) {
      --tiesKept;
      continue;
    }
    dropped[i] = true;
  }
}

void DrawNotation(const Notation& notation, NotationDraw& draw) {
  EngineFeed engine;
  DrawNotation(notation, draw, engine);
}
