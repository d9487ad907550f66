// Loads a plugin module from disk and calls its entry points, as the game server does.
#pragma once

#include <memory>
#include <string>

namespace simhost {

class PluginModule {
 public:
  // Loads the module at `path`; on failure returns null and says why in `error`.
  static std::unique_ptr<PluginModule> Load(const std::string& path, std::string& error);
  ~PluginModule();  // unloads the module

  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  void Init() { init_(); }
  void Unload() { unload_(); }
  const std::string& Path() const { return path_; }

 private:
  using EntryPoint = void (*)();
  PluginModule(void* handle, std::string path, EntryPoint init, EntryPoint unload)
      : handle_(handle), path_(std::move(path)), init_(init), unload_(unload) {}

  void* handle_;
  std::string path_;
  EntryPoint init_;
  EntryPoint unload_;
};

}  // namespace simhost
