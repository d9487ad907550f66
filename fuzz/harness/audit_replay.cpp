#include "fuzz/harness/audit_replay.h"

#include <cstdio>
#include <string_view>

#include "dice/engine.h"
#include "host/utf.h"

namespace fuzz {
namespace {

constexpr std::string_view Marker = "Rollmoot: Roll audit: ";

bool Hex(std::string_view text, std::vector<unsigned char>& bytes) {
  bytes.clear();
  if (text.size() != 64) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    for (const char c : text.substr(i, 2)) {
      if (c >= '0' && c <= '9') {
        value = value * 16 + static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value = value * 16 + static_cast<unsigned>(c - 'a' + 10);
      } else {
        return false;
      }
    }
    bytes.push_back(static_cast<unsigned char>(value));
  }
  return true;
}

// Block j is the MAC of j as eight big-endian bytes; its 32 bytes are eight big-endian words.
class StreamFeed {
 public:
  explicit StreamFeed(const std::vector<unsigned char>& key) {
    ok_ = mac_.SetKey(key.data(), key.size());
  }
  std::uint32_t Next() noexcept {
    if (used_ == 8) {
      unsigned char index[8];
      for (int i = 0; i < 8; ++i) index[i] = static_cast<unsigned char>(block_ >> (56 - 8 * i));
      ++block_;
      if (!mac_.Mac(index, sizeof index, bytes_)) ok_ = false;
      used_ = 0;
    }
    const unsigned char* word = bytes_ + 4 * used_++;
    return std::uint32_t{word[0]} << 24 | std::uint32_t{word[1]} << 16 |
           std::uint32_t{word[2]} << 8 | std::uint32_t{word[3]};
  }
  bool Ok() const noexcept { return ok_; }

 private:
  platform::HmacSha256 mac_;
  unsigned char bytes_[platform::Sha256Bytes] = {};
  std::uint64_t block_ = 0;
  int used_ = 8;
  bool ok_ = false;
};

// "#N NAME GROUPS" after the marker.
bool ParseRecord(std::string_view text, std::size_t number, AuditedRoll& roll) {
  const std::string head = "#" + std::to_string(number) + " ";
  if (text.substr(0, head.size()) != head) return false;
  std::size_t at = head.size();
  if (text.substr(at, 4) == "null") {
    roll.Name = "null";
    at += 4;
  } else {
    if (at >= text.size() || text[at] != '"') return false;
    std::size_t end = at + 1;
    while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
    if (end >= text.size()) return false;
    roll.Name = std::string(text.substr(at, end + 1 - at));
    at = end + 1;
  }
  while (at < text.size()) {
    if (text.substr(at, 2) != " d") return false;
    at += 2;
    std::int32_t sides = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && sides < 100000)
      sides = sides * 10 + (text[at++] - '0');
    if (at >= text.size() || text[at++] != ':' || sides < 1) return false;
    std::vector<std::int32_t> values;
    do {
      std::int32_t value = 0;
      const std::size_t start = at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9' && value < 100000)
        value = value * 10 + (text[at++] - '0');
      if (at == start) return false;
      values.push_back(value);
    } while (at < text.size() && text[at] == ',' && ++at);
    roll.Groups.emplace_back(sides, std::move(values));
  }
  return !roll.Groups.empty();
}

}  // namespace

std::string ReplayAudit(const std::vector<std::string>& lines, std::vector<AuditedRoll>& rolls) {
  rolls.clear();
  std::vector<std::string_view> texts;
  for (const std::string& line : lines) {
    if (line.substr(0, Marker.size()) != Marker) return "an audit line without its marker";
    texts.push_back(std::string_view(line).substr(Marker.size()));
  }
  if (texts.size() < 2) return "no commitment and reveal around the records";
  std::vector<unsigned char> commitment, key;
  const std::string_view first = texts.front(), last = texts.back();
  if (first.substr(0, 11) != "commitment " || !Hex(first.substr(11), commitment))
    return "the first audit line is no commitment";
  const std::string after = " after " + std::to_string(texts.size() - 2) + " rolls";
  if (last.substr(0, 4) != "key " || last.size() != 4 + 64 + after.size() ||
      last.substr(68) != after || !Hex(last.substr(4, 64), key)) {
    return "the last audit line is no reveal of the rolls recorded";
  }
  unsigned char digest[platform::Sha256Bytes];
  if (!platform::Sha256(key.data(), key.size(), digest) ||
      std::vector<unsigned char>(digest, digest + sizeof digest) != commitment) {
    return "the revealed key does not match its commitment";
  }
  StreamFeed stream(key);
  for (std::size_t i = 1; i + 1 < texts.size(); ++i) {
    AuditedRoll roll;
    if (!ParseRecord(texts[i], i, roll)) return "a record out of shape or out of order";
    for (const auto& [sides, values] : roll.Groups) {
      for (const std::int32_t value : values) {
        if (RollDieFrom(stream, static_cast<std::uint32_t>(sides)) != value)
          return "a recorded die is not the key's";
      }
    }
    if (!stream.Ok()) return "the stream could not be computed";
    rolls.push_back(std::move(roll));
  }
  return {};
}

std::string JsonName(WideStringView name) {
  std::string json = "\"";
  utf::DecodeUtf16(name, [&](char32_t cp) {
    if (cp == '"' || cp == '\\') {
      json += '\\';
      json += static_cast<char>(cp);
    } else if (cp < 0x20) {
      const char* named = cp == '\b'   ? "\\b"
                          : cp == '\f' ? "\\f"
                          : cp == '\n' ? "\\n"
                          : cp == '\r' ? "\\r"
                          : cp == '\t' ? "\\t"
                                       : nullptr;
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(cp));
      json += named != nullptr ? named : escaped;
    } else {
      utf::AppendUtf8(json, cp);
    }
  });
  return json + "\"";
}

std::string AuditGroupText(std::int32_t sides, const std::vector<std::int32_t>& values) {
  std::string text = " d" + std::to_string(sides) + ":";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) text += ',';
    text += std::to_string(values[i]);
  }
  return text;
}

}  // namespace fuzz
