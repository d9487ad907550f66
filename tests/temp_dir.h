// A server directory of its own for one test, removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "simhost/server_layout.h"

class TempDir {
 public:
  TempDir() {
    std::random_device device;
    path_ = std::filesystem::temp_directory_path() /
            ("rollmoot-test-" + std::to_string(device()) + std::to_string(device()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string String() const { return path_.string(); }

  // The plugin's folder beneath this server directory, created on request.
  std::filesystem::path PluginFolder(bool create = true) const {
    auto folder = simhost::PluginFolder(path_);
    if (create) std::filesystem::create_directories(folder);
    return folder;
  }
  std::filesystem::path ConfigFile() const { return PluginFolder(false) / "config.json"; }

  void WriteConfig(const std::string& bytes) const {
    PluginFolder();
    std::ofstream(ConfigFile(), std::ios::binary) << bytes;
  }
  std::string ReadConfig() const {
    std::ifstream in(ConfigFile(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path path_;
};
