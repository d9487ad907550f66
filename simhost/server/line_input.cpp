#include "line_input.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <system_error>

#include "paths.h"

#if defined(ROLLMOOT_HAVE_READLINE)
#include <readline/history.h>
#include <readline/readline.h>
#endif

namespace console {
namespace {

constexpr char Prompt[] = "rollmoot> ";

void DropCarriageReturn(std::string& line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
}

class StreamSource final : public LineSource {
 public:
  explicit StreamSource(std::istream& in) : in_(in) {}
  bool Next(std::string& line) override {
    if (!std::getline(in_, line)) return false;
    DropCarriageReturn(line);
    return true;
  }

 private:
  std::istream& in_;
};

class FileSource final : public LineSource {
 public:
  explicit FileSource(std::ifstream file) : file_(std::move(file)), lines_(file_) {}
  bool Next(std::string& line) override { return lines_.Next(line); }

 private:
  std::ifstream file_;
  StreamSource lines_;
};

class PromptSource final : public LineSource {
 public:
  explicit PromptSource(bool promptOnStderr) : promptOut_(promptOnStderr ? stderr : stdout) {
#if defined(ROLLMOOT_HAVE_READLINE)
    rl_outstream = promptOut_;
#endif
  }

  bool Next(std::string& line) override {
#if defined(ROLLMOOT_HAVE_READLINE)
    char* typed = readline(Prompt);
    if (typed == nullptr) return EndOfInput();
    line = typed;
    if (*typed != '\0') add_history(typed);
    std::free(typed);
    DropCarriageReturn(line);
    return true;
#else
    std::fputs(Prompt, promptOut_);
    std::fflush(promptOut_);
    if (!std::getline(std::cin, line)) return EndOfInput();
    DropCarriageReturn(line);
    return true;
#endif
  }

 private:
  // After Ctrl-D the cursor still sits behind the prompt.
  bool EndOfInput() {
    std::fputc('\n', promptOut_);
    std::fflush(promptOut_);
    return false;
  }

  std::FILE* promptOut_;
};

}  // namespace

std::unique_ptr<LineSource> ScriptLines(const std::string& path, std::string& error) {
  std::error_code ec;
  std::ifstream file;
  // A folder opens as an empty stream on some systems; it is no script.
  if (!std::filesystem::is_directory(Utf8Path(path), ec))
    file.open(Utf8Path(path), std::ios::binary);
  if (!file.is_open()) {
    error = "cannot read the script " + path;
    return nullptr;
  }
  return std::make_unique<FileSource>(std::move(file));
}

std::unique_ptr<LineSource> StdinLines() {
  return std::make_unique<StreamSource>(std::cin);
}

std::unique_ptr<LineSource> PromptLines(bool promptOnStderr) {
  return std::make_unique<PromptSource>(promptOnStderr);
}

}  // namespace console
