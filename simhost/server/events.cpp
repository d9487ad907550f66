#include "events.h"

#include <nlohmann/json.hpp>

namespace console {
namespace {

// Keys in the order a reader expects them, not sorted.
using Json = nlohmann::ordered_json;

std::string Dump(const Json& event) {
  // Text typed at the console may be ill-formed UTF-8; it comes out as U+FFFD.
  return event.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

void Events::Chat(int player, std::string_view to, std::string_view sender, std::string_view text) {
  if (json_) {
    Write(Dump(
        {{"event", "chat"}, {"player", player}, {"to", to}, {"sender", sender}, {"text", text}}));
  } else {
    Write(std::string(sender) + " -> #" + std::to_string(player) + " " + std::string(to) + ": " +
          std::string(text));
  }
}

void Events::Log(std::string_view line) {
  Write(json_ ? Dump({{"event", "log"}, {"text", line}}) : std::string(line));
}

void Events::Stats(const simhost::MemoryStats& stats) {
  if (json_) {
    Write(Dump({{"event", "stats"},
                {"blocks", stats.Blocks},
                {"bytes", stats.Bytes},
                {"allocations", stats.Allocations},
                {"frees", stats.Frees}}));
  } else {
    Write("stats: " + std::to_string(stats.Blocks) + " blocks, " + std::to_string(stats.Bytes) +
          " bytes outstanding (" + std::to_string(stats.Allocations) + " allocations, " +
          std::to_string(stats.Frees) + " frees)");
  }
}

void Events::Host(std::string_view text) {
  Write(json_ ? Dump({{"event", "host"}, {"text", text}}) : "host: " + std::string(text));
}

void Events::Error(std::string_view text) {
  Write(json_ ? Dump({{"event", "error"}, {"text", text}}) : "error: " + std::string(text));
}

void Events::Write(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

}  // namespace console
