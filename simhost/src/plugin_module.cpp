// The simulated server's one platform-specific piece: loading a module from disk.
#include "simhost/plugin_module.h"

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "host/utf.h"

namespace simhost {

#if defined(_WIN32)

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string& error) {
  // Windows' own idea of a full path: keeps the extended-length form ("\\?\" + path) that
  // a module beyond MAX_PATH needs, which std::filesystem::absolute mangles here.
  const WideString given = utf::Utf8ToWide(path);
  const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  WideString wide(needed, L'\0');
  const DWORD length =
      needed == 0 ? 0 : GetFullPathNameW(given.c_str(), needed, wide.data(), nullptr);
  wide.resize(length < needed ? length : 0);  // 0: no full path; LoadLibraryW then says why
  const std::string full = utf::WideToUtf8(wide);
  HMODULE module = LoadLibraryW(wide.c_str());
  if (module == nullptr) {
    error = "cannot load " + (full.empty() ? path : full) + " (Windows error " +
            std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  auto init = reinterpret_cast<EntryPoint>(GetProcAddress(module, "Plugin_Init"));
  auto unload = reinterpret_cast<EntryPoint>(GetProcAddress(module, "Plugin_Unload"));
  if (init == nullptr || unload == nullptr) {
    FreeLibrary(module);
    error = full + " does not export Plugin_Init and Plugin_Unload";
    return nullptr;
  }
  return std::unique_ptr<PluginModule>(new PluginModule(module, full, init, unload));
}

PluginModule::~PluginModule() {
  FreeLibrary(static_cast<HMODULE>(handle_));
}

#else

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string& error) {
  // By the path as given, relative or not, as a server loads what its operator names: the
  // plugin must find its own full path by itself. Only a bare file name gets "./", so that
  // it names the file here rather than a search through the library path.
  const std::string full = path.find('/') == std::string::npos ? "./" + path : path;
  void* module = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "cannot load " + full;
    return nullptr;
  }
  auto init = reinterpret_cast<EntryPoint>(dlsym(module, "Plugin_Init"));
  auto unload = reinterpret_cast<EntryPoint>(dlsym(module, "Plugin_Unload"));
  if (init == nullptr || unload == nullptr) {
    dlclose(module);
    error = full + " does not export Plugin_Init and Plugin_Unload";
    return nullptr;
  }
  return std::unique_ptr<PluginModule>(new PluginModule(module, full, init, unload));
}

PluginModule::~PluginModule() {
  dlclose(handle_);
}

#endif

}  // namespace simhost
