// A fresh server directory for one session: a new temporary folder laid out as the game
// server's, with the plugin module copied into the plugin's own folder, so the plugin
// finds, creates and reads its files exactly where it would on a real server.
#pragma once

#include <memory>
#include <string>

namespace console {

class TempServerDir {
 public:
  // Lays out <temp>/ArkApi/Plugins/Rollmoot/ and copies `modulePath` there under its own
  // file name. On failure returns null and says why in `error`.
  static std::unique_ptr<TempServerDir> Create(const std::string& modulePath, std::string& error);
  // Removes the folder and all in it, unless ROLLMOOT_KEEP_SERVER_DIR is set (non-empty).
  // The module copy must be unloaded by then.
  ~TempServerDir();

  TempServerDir(const TempServerDir&) = delete;
  TempServerDir& operator=(const TempServerDir&) = delete;

  const std::string& Root() const { return root_; }
  const std::string& ModuleCopy() const { return module_; }
  bool Kept() const { return keep_; }

 private:
  TempServerDir(std::string root, std::string module, bool keep)
      : root_(std::move(root)), module_(std::move(module)), keep_(keep) {}

  std::string root_;
  std::string module_;
  bool keep_;
};

}  // namespace console
