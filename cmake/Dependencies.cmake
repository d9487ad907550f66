# Debian's packages only; nothing is downloaded. A cross build for Windows uses the same
# headers in header-only form (see cmake/HeaderOnlyDeps.cmake).
if(ROLLMOOT_HEADER_ONLY_DEPS)
  include(HeaderOnlyDeps)
else()
  find_package(fmt 9 REQUIRED)
  find_package(spdlog 1.10 REQUIRED)
  find_package(nlohmann_json 3.10.2 REQUIRED)
  if(ROLLMOOT_BUILD_TESTS)
    find_package(GTest REQUIRED)
  endif()
  if(ROLLMOOT_BUILD_BENCH)
    find_package(benchmark REQUIRED)
  endif()
endif()

# SHA-256 and HMAC outside Windows (libcrypto 3: EVP_MAC); Windows has them in BCrypt.
# 3.0.3 at least: 3.0.0 to 3.0.2 take EVP_MAC_init without a key, which restarts each MAC
# under the key set before, as a no-op that reports success, so every MAC after a key's first
# would be wrong. (Copying a keyed context per MAC instead took twice the time.)
if(NOT WIN32)
  find_package(OpenSSL 3.0.3 REQUIRED COMPONENTS Crypto)
endif()

# On Windows every module with its own spdlog would leave objects of its own copy in the
# host's sinks (the pattern's formatters), which break once the plugin DLL is unloaded: the
# host, the plugin and the programs must share one spdlog DLL.
if(WIN32 AND NOT ROLLMOOT_HEADER_ONLY_DEPS)
  get_target_property(_rollmoot_spdlog_type spdlog::spdlog TYPE)
  if(_rollmoot_spdlog_type MATCHES "STATIC_LIBRARY|INTERFACE_LIBRARY")
    message(FATAL_ERROR "spdlog must be its shared library (spdlog.dll) on Windows, found ${_rollmoot_spdlog_type}")
  endif()
endif()

# One name per dependency, whichever way it was found.
if(NOT ROLLMOOT_HEADER_ONLY_DEPS)
  add_library(rollmoot::fmt ALIAS fmt::fmt)
  add_library(rollmoot::spdlog ALIAS spdlog::spdlog)
  add_library(rollmoot::nlohmann_json ALIAS nlohmann_json::nlohmann_json)
endif()
