# Dependencies for a cross build, made from the build machine's Debian packages: their shared
# libraries are for the build machine, so the target gets the headers, built here.
#
# Only the libraries' own folders are staged into the build tree: putting the build machine's
# /usr/include on the target's include path would bring its C library headers along.
set(ROLLMOOT_DEPS_INCLUDE_ROOT "/usr/include" CACHE PATH "Where the fmt, spdlog and nlohmann headers are")
set(ROLLMOOT_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources to build for the target")

set(_rollmoot_staged ${CMAKE_BINARY_DIR}/deps/include)
file(MAKE_DIRECTORY ${_rollmoot_staged})
foreach(_dir IN ITEMS fmt spdlog nlohmann)
  if(NOT IS_DIRECTORY ${ROLLMOOT_DEPS_INCLUDE_ROOT}/${_dir})
    message(FATAL_ERROR "${ROLLMOOT_DEPS_INCLUDE_ROOT}/${_dir} is missing (scripts/setup.sh native installs it)")
  endif()
  file(CREATE_LINK ${ROLLMOOT_DEPS_INCLUDE_ROOT}/${_dir} ${_rollmoot_staged}/${_dir} SYMBOLIC)
endforeach()

# fmt: header-only. SYSTEM: the libraries' own warnings are not ours, and -Werror would stop on them.
add_library(rollmoot_fmt INTERFACE)
target_include_directories(rollmoot_fmt SYSTEM INTERFACE ${_rollmoot_staged})
target_compile_definitions(rollmoot_fmt INTERFACE FMT_HEADER_ONLY=1)
add_library(rollmoot::fmt ALIAS rollmoot_fmt)

add_library(rollmoot_nlohmann_json INTERFACE)
target_include_directories(rollmoot_nlohmann_json SYSTEM INTERFACE ${_rollmoot_staged})
add_library(rollmoot::nlohmann_json ALIAS rollmoot_nlohmann_json)

# spdlog: one spdlog.dll that the host library, the plugin and the programs all import, as
# Debian's libspdlog.so is shared on the build machine. Header-only copies in each module
# would not do: the plugin's logger hands the host's sinks formatter objects, and with a
# private copy their code would leave with the plugin at FreeLibrary, so the host's next
# log line (or its shutdown) would call into unloaded memory.
set(_rollmoot_spdlog_source ${CMAKE_BINARY_DIR}/deps/spdlog.cpp)
file(CONFIGURE OUTPUT ${_rollmoot_spdlog_source} CONTENT [[
// Compiles the library's implementation headers once, for spdlog.dll.
#include <spdlog/common-inl.h>
#include <spdlog/details/backtracer-inl.h>
#include <spdlog/details/log_msg-inl.h>
#include <spdlog/details/log_msg_buffer-inl.h>
#include <spdlog/details/os-inl.h>
#include <spdlog/details/periodic_worker-inl.h>
#include <spdlog/details/registry-inl.h>
#include <spdlog/logger-inl.h>
#include <spdlog/pattern_formatter-inl.h>
#include <spdlog/sinks/base_sink-inl.h>
#include <spdlog/sinks/sink-inl.h>
#include <spdlog/sinks/stdout_color_sinks-inl.h>
#include <spdlog/sinks/stdout_sinks-inl.h>
#include <spdlog/sinks/wincolor_sink-inl.h>
#include <spdlog/spdlog-inl.h>

#include <mutex>

// The templates that programs use with the library's own mutexes.
template SPDLOG_API spdlog::logger::logger(std::string, spdlog::sinks_init_list::iterator,
                                           spdlog::sinks_init_list::iterator);
template class SPDLOG_API spdlog::sinks::base_sink<std::mutex>;
template class SPDLOG_API spdlog::sinks::base_sink<spdlog::details::null_mutex>;
]])
add_library(rollmoot_spdlog SHARED ${_rollmoot_spdlog_source})
set_target_properties(rollmoot_spdlog PROPERTIES
  OUTPUT_NAME spdlog
  PREFIX ""
  DEFINE_SYMBOL spdlog_EXPORTS)
# Debian's spdlog/tweakme.h already asks for the external fmt; saying it again is harmless.
target_compile_definitions(rollmoot_spdlog PUBLIC SPDLOG_COMPILED_LIB SPDLOG_SHARED_LIB SPDLOG_FMT_EXTERNAL=1)
target_link_libraries(rollmoot_spdlog PUBLIC rollmoot_fmt)
add_library(rollmoot::spdlog ALIAS rollmoot_spdlog)

# GoogleTest built from source for the target, under the names find_package(GTest) gives.
if(ROLLMOOT_BUILD_TESTS)
  set(_gtest ${ROLLMOOT_GOOGLETEST_SOURCE}/googletest)
  set(_gmock ${ROLLMOOT_GOOGLETEST_SOURCE}/googlemock)
  if(NOT EXISTS ${_gtest}/src/gtest-all.cc)
    message(FATAL_ERROR "GoogleTest sources not found in ${ROLLMOOT_GOOGLETEST_SOURCE} (package googletest)")
  endif()

  add_library(rollmoot_gtest STATIC ${_gtest}/src/gtest-all.cc)
  target_include_directories(rollmoot_gtest SYSTEM PUBLIC ${_gtest}/include)
  target_include_directories(rollmoot_gtest PRIVATE ${_gtest})
  add_library(rollmoot_gtest_main STATIC ${_gtest}/src/gtest_main.cc)
  target_link_libraries(rollmoot_gtest_main PUBLIC rollmoot_gtest)
  add_library(rollmoot_gmock STATIC ${_gmock}/src/gmock-all.cc)
  target_include_directories(rollmoot_gmock SYSTEM PUBLIC ${_gmock}/include)
  target_include_directories(rollmoot_gmock PRIVATE ${_gmock})
  target_link_libraries(rollmoot_gmock PUBLIC rollmoot_gtest)

  add_library(GTest::gtest ALIAS rollmoot_gtest)
  add_library(GTest::gtest_main ALIAS rollmoot_gtest_main)
  add_library(GTest::gmock ALIAS rollmoot_gmock)
  unset(_gtest)
  unset(_gmock)
endif()
unset(_rollmoot_staged)
unset(_rollmoot_spdlog_source)
