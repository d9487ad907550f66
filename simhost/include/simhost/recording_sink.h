// A log sink that keeps what it is given: each line as formatted (without its line ending),
// its level, and how often it was flushed. Given a callback, it passes each line on as it
// arrives instead of keeping it, so a long-running server does not grow with its log.
#pragma once

#include <spdlog/sinks/base_sink.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace simhost {

class RecordingSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  struct Entry {
    spdlog::level::level_enum Level;
    std::string Line;     // formatted by the logger's pattern
    std::string Message;  // the text alone
  };

  explicit RecordingSink(std::function<void(const Entry&)> onLine = {})
      : onLine_(std::move(onLine)) {}

  std::vector<Entry> Entries() {
    std::lock_guard guard(mutex_);
    return entries_;
  }
  int Flushes() {
    std::lock_guard guard(mutex_);
    return flushes_;
  }
  // Lines count as flushed once a flush follows them.
  std::size_t FlushedLines() {
    std::lock_guard guard(mutex_);
    return flushedLines_;
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override {
    spdlog::memory_buf_t formatted;
    formatter_->format(message, formatted);
    std::string line(formatted.data(), formatted.size());
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    Entry entry{message.level, std::move(line),
                std::string(message.payload.data(), message.payload.size())};
    if (onLine_) {
      onLine_(entry);
    } else {
      entries_.push_back(std::move(entry));
    }
  }
  void flush_() override {
    ++flushes_;
    flushedLines_ = entries_.size();
  }

 private:
  std::function<void(const Entry&)> onLine_;
  std::vector<Entry> entries_;
  int flushes_ = 0;
  std::size_t flushedLines_ = 0;
};

}  // namespace simhost
