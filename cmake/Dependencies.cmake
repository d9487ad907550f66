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

# One name per dependency, whichever way it was found.
if(NOT ROLLMOOT_HEADER_ONLY_DEPS)
  add_library(rollmoot::fmt ALIAS fmt::fmt)
  add_library(rollmoot::spdlog ALIAS spdlog::spdlog)
  add_library(rollmoot::nlohmann_json ALIAS nlohmann_json::nlohmann_json)
endif()
