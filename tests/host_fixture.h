// A fresh simulated server per test, with a recording log sink, and the promise that every
// host block handed out during the test has come back by its end.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/utf.h"
#include "simhost/recording_sink.h"
#include "simhost/simhost.h"

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    simhost::Reset();
    GetLogSinks().clear();
    sink_ = std::make_shared<simhost::RecordingSink>();
    GetLogSinks().push_back(sink_);
    before_ = simhost::Memory();
  }

  void TearDown() override {
    const simhost::MemoryStats after = simhost::Memory();
    EXPECT_EQ(after.Blocks, before_.Blocks) << "host blocks left outstanding";
    EXPECT_EQ(after.Bytes, before_.Bytes) << "host bytes left outstanding";
    EXPECT_EQ(after.BadFrees, before_.BadFrees) << "double free or foreign pointer";
    for (const std::string& fault : simhost::TakeHostFaults())
      ADD_FAILURE() << "host fault: " << fault;
    GetLogSinks().clear();
    simhost::Reset();
  }

  static simhost::PlayerId Join(const std::string& name) {
    return simhost::Join(utf::Utf8ToWide(name));
  }
  static bool Say(simhost::PlayerId player, const std::string& text) {
    return simhost::Say(player, utf::Utf8ToWide(text));
  }
  // The lines a player was told, as UTF-8.
  static std::vector<std::string> Told(simhost::PlayerId player) {
    std::vector<std::string> lines;
    for (const auto& line : simhost::Inbox(player)) lines.push_back(utf::WideToUtf8(line.Text));
    return lines;
  }
  static std::vector<std::string> Senders(simhost::PlayerId player) {
    std::vector<std::string> senders;
    for (const auto& line : simhost::Inbox(player)) senders.push_back(utf::WideToUtf8(line.Sender));
    return senders;
  }

  std::vector<std::string> LogMessages() {
    std::vector<std::string> messages;
    for (const auto& entry : sink_->Entries()) messages.push_back(entry.Message);
    return messages;
  }

  std::shared_ptr<simhost::RecordingSink> sink_;
  simhost::MemoryStats before_;
};
