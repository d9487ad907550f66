#include "config/messages_config.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "dice/messages.h"
#include "host/utf.h"
#include "log/log.h"

namespace {

std::string ToUtf8(std::u32string_view text) {
  std::string out;
  for (const char32_t c : text) utf::AppendUtf8(out, c);
  return out;
}

// Empty when `value` was taken as message `name`'s template; else why it was not.
std::string Take(const std::string& name, const nlohmann::json& value) {
  const std::optional<MessageId> id = FindMessage(name);
  if (!id) return fmt::format("Messages.{} is not a message of this plugin", name);
  const std::string tooLong = fmt::format("Messages.{} must be a string of at most {} characters",
                                          name, MaxTemplateCharacters);
  if (!value.is_string()) return tooLong;
  std::u32string text;
  utf::DecodeUtf8(value.get_ref<const std::string&>(), [&](char32_t c) { text.push_back(c); });
  MessageTemplate parsed;
  const TemplateCheck check = ParseMessage(*id, text, parsed);
  switch (check.Error) {
    case TemplateError::None:
      Messages[static_cast<std::size_t>(*id)] = parsed;
      return {};
    case TemplateError::TooLong:
      return tooLong;
    case TemplateError::UnknownPlaceholder:
      return fmt::format("Messages.{} has an unknown placeholder {}", name, ToUtf8(check.Written));
    case TemplateError::RepeatedPlaceholder:
      return fmt::format("Messages.{} uses the placeholder {} more than once", name,
                         ToUtf8(check.Written));
    case TemplateError::UnmatchedBrace:
      break;
  }
  return fmt::format("Messages.{} has an unmatched brace", name);
}

}  // namespace

void ReadMessages(const nlohmann::json& document) {
  const auto member = document.find("Messages");
  if (member == document.end()) return;
  if (!member->is_object()) {
    WriteLog(spdlog::level::err, "Rollmoot: Error loading config: Messages must be an object");
    return;
  }
  // The library keeps an object's members sorted by name, byte for byte.
  std::vector<std::string> refused;
  std::array<bool, MessageCount> taken{};
  for (const auto& [name, value] : member->items()) {
    std::string why = Take(name, value);
    if (why.empty()) {
      taken[static_cast<std::size_t>(*FindMessage(name))] = true;
    } else {
      refused.push_back(std::move(why));
    }
  }
  // A private line not taken follows its public twin, customised or not.
  for (const auto& [twin, own] : {std::pair{MessageId::Roll, MessageId::PrivateRoll},
                                  std::pair{MessageId::RollMany, MessageId::PrivateRollMany}}) {
    const auto index = static_cast<std::size_t>(own);
    if (!taken[index]) Messages[index] = Messages[static_cast<std::size_t>(twin)];
  }
  if (const auto count = std::count(taken.begin(), taken.end(), true); count > 0) {
    WriteLog(spdlog::level::info, "Rollmoot: Messages: {} customised", count);
  }
  for (const std::string& why : refused) {
    WriteLog(spdlog::level::err, "Rollmoot: Error loading config: {}", why);
  }
}
