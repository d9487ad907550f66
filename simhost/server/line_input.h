// Where console lines come from: a script, standard input, or a person at a prompt.
#pragma once

#include <memory>
#include <string>

namespace console {

class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line without its line ending (a trailing CR goes too); false at end of input.
  // Reads no further than that line, so a program on the other end of a pipe can wait for
  // the answer to one command before it writes the next.
  virtual bool Next(std::string& line) = 0;
};

// A script file; null, with the reason in `error`, when it cannot be read.
std::unique_ptr<LineSource> ScriptLines(const std::string& path, std::string& error);
std::unique_ptr<LineSource> StdinLines();
// An interactive prompt (with line editing and history when built with readline). The
// prompt goes to standard error when standard output is for machines.
std::unique_ptr<LineSource> PromptLines(bool promptOnStderr);

}  // namespace console
