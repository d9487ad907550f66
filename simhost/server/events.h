// What the console reports, one event per line, as JSON or as readable text. Each event is
// flushed as it is written, so a program reading the other end of a pipe sees it at once.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "simhost/simhost.h"

namespace console {

class Events {
 public:
  Events(std::FILE* out, bool json) : out_(out), json_(json) {}

  // A chat line the host delivered to player #`player`, called `to`.
  void Chat(int player, std::string_view to, std::string_view sender, std::string_view text);
  // A line a host log sink received, as formatted, without its line ending.
  void Log(std::string_view line);
  void Stats(const simhost::MemoryStats& stats);
  // The host's own notices.
  void Host(std::string_view text);
  // A console command that could not be carried out.
  void Error(std::string_view text);

  bool Json() const { return json_; }

 private:
  void Write(const std::string& line);

  std::FILE* out_;
  bool json_;
};

}  // namespace console
