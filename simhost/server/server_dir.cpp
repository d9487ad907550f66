#include "server_dir.h"

#include <filesystem>
#include <system_error>

#include "console_platform.h"
#include "paths.h"

namespace console {

namespace fs = std::filesystem;

std::unique_ptr<TempServerDir> TempServerDir::Create(const std::string& modulePath,
                                                     std::string& error) {
  const std::string root = MakeTempDir(error);
  if (root.empty()) return nullptr;
  const bool keep = EnvironmentFlag("ROLLMOOT_KEEP_SERVER_DIR");
  // From here on the folder is ours; the destructor cleans up even if laying out fails.
  std::unique_ptr<TempServerDir> dir(new TempServerDir(root, {}, keep));

  const fs::path source = Utf8Path(modulePath);
  const fs::path folder = simhost::PluginFolder(Utf8Path(root));
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    error = "cannot create " + PathText(folder) + ": " + ec.message();
    return nullptr;
  }
  const fs::path copy = folder / source.filename();
  fs::copy_file(source, copy, ec);
  if (ec) {
    error = "cannot copy the plugin module " + modulePath + ": " + ec.message();
    return nullptr;
  }
  dir->module_ = PathText(copy);
  return dir;
}

TempServerDir::~TempServerDir() {
  if (keep_) return;
  std::error_code ec;  // nothing to report to at exit; a leftover temp folder does no harm
  fs::remove_all(Utf8Path(root_), ec);
}

}  // namespace console
