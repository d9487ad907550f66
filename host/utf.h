// UTF-8 <-> UTF-16 for texts that cross between the host (UTF-16) and files, file names
// and consoles (UTF-8). Anything ill-formed becomes U+FFFD rather than being passed on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/platform.h"

namespace utf {

inline constexpr char32_t Replacement = 0xFFFD;

// Calls emit(char32_t) for each code point of `bytes`; each maximal ill-formed
// subsequence yields one U+FFFD.
template <class Emit>
void DecodeUtf8(std::string_view bytes, Emit&& emit) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char lead = s[i];
    if (lead < 0x80) {
      emit(static_cast<char32_t>(lead));
      ++i;
      continue;
    }
    std::size_t extra = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // bounds of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, cp = lead & 0x0Fu;
      if (lead == 0xE0) lo = 0xA0;  // overlong
      if (lead == 0xED) hi = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, cp = lead & 0x07u;
      if (lead == 0xF0) lo = 0x90;  // overlong
      if (lead == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
      emit(Replacement);
      ++i;
      continue;
    }
    std::size_t k = 1;
    for (; k <= extra && i + k < n; ++k) {
      const unsigned char c = s[i + k];
      const unsigned char min = k == 1 ? lo : 0x80, max = k == 1 ? hi : 0xBF;
      if (c < min || c > max) break;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if (k <= extra) {
      emit(Replacement);
      i += k;
      continue;
    }
    emit(cp);
    i += extra + 1;
  }
}

// Calls emit(char32_t) for each code point of UTF-16 `units`; a lone surrogate is U+FFFD.
template <class Emit>
void DecodeUtf16(WideStringView units, Emit&& emit) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto u = static_cast<char32_t>(static_cast<std::uint16_t>(units[i]));
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size()) {
      const auto next = static_cast<char32_t>(static_cast<std::uint16_t>(units[i + 1]));
      if (next >= 0xDC00 && next <= 0xDFFF) {
        emit(0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    emit(u >= 0xD800 && u <= 0xDFFF ? Replacement : u);
  }
}

template <class Emit>
void EncodeUtf16(char32_t cp, Emit&& emit) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    emit(static_cast<WideChar>(0xD800 + (cp >> 10)));
    emit(static_cast<WideChar>(0xDC00 + (cp & 0x3FF)));
  } else {
    emit(static_cast<WideChar>(cp));
  }
}

inline WideString Utf8ToWide(std::string_view bytes) {
  WideString out;
  out.reserve(bytes.size());
  DecodeUtf8(bytes, [&](char32_t cp) { EncodeUtf16(cp, [&](WideChar u) { out.push_back(u); }); });
  return out;
}

// `out`: anything with push_back(char), a std::string or a fixed buffer.
template <class Out>
void AppendUtf8(Out& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

inline std::string WideToUtf8(WideStringView units) {
  std::string out;
  out.reserve(units.size());
  DecodeUtf16(units, [&](char32_t cp) { AppendUtf8(out, cp); });
  return out;
}

}  // namespace utf
