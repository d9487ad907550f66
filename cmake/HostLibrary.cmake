# Which host library the plugin links. By default the simulated one (simhost/), built here
# with everything that runs on it. With ROLLMOOT_HOST_LIBRARY the plugin module alone is
# built against our host/ declarations and linked against the given library, as for a real
# server: no simulated host, console server, tests, benchmarks or fuzz targets.
if(ROLLMOOT_REQUIRE_HOST_LIBRARY AND NOT ROLLMOOT_HOST_LIBRARY)
  message(FATAL_ERROR "this preset builds the plugin for a given host library: set ROLLMOOT_HOST_LIBRARY "
    "(in the environment or with -D) to the host's import library (AsaApi.lib), or its .so/.dll")
endif()
if(NOT ROLLMOOT_HOST_LIBRARY)
  return()
endif()

if(NOT EXISTS "${ROLLMOOT_HOST_LIBRARY}" OR IS_DIRECTORY "${ROLLMOOT_HOST_LIBRARY}")
  message(FATAL_ERROR "ROLLMOOT_HOST_LIBRARY: no library file at ${ROLLMOOT_HOST_LIBRARY}")
endif()
if(MSVC AND ROLLMOOT_HOST_LIBRARY MATCHES "\\.[dD][lL][lL]$")
  message(FATAL_ERROR "ROLLMOOT_HOST_LIBRARY: Visual Studio links the host's import library (AsaApi.lib), not the DLL")
endif()
# Options are normal variables from here on, so these shadow the cached ones.
set(ROLLMOOT_BUILD_TESTS OFF)
set(ROLLMOOT_BUILD_BENCH OFF)
set(ROLLMOOT_BUILD_FUZZ OFF)

# The same target name the simulated host has, so host/ links it the same way. UNKNOWN:
# the file is put on the link line as given, whichever of the three kinds it is.
add_library(AsaApi UNKNOWN IMPORTED)
set_target_properties(AsaApi PROPERTIES IMPORTED_LOCATION "${ROLLMOOT_HOST_LIBRARY}")
message(STATUS "Rollmoot: building the plugin alone, against ${ROLLMOOT_HOST_LIBRARY}")
