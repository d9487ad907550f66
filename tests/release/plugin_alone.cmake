# The plugin built alone, as for a real server, then played: the simulated host is installed
# like a host's SDK, the plugin is configured with a *-plugin preset against that install, its
# imports are checked against the installed library, and the console server built the usual
# way loads it and runs a whole session.
#
# cmake -DSOURCE_DIR=... -DBUILD_DIR=... -DWORK_DIR=... -DPRESET=... -DHOST_FILE=lib/...
#       -DMODULE_NAME=... -DSERVER=... [-DEMULATOR=...] -DPYTHON=... -DBASH=...
#       -P plugin_alone.cmake
cmake_policy(SET CMP0007 NEW)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${what} failed (${failed})")
  endif()
endfunction()

set(sdk ${WORK_DIR}/sdk)
set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${sdk})
run("installing the simulated host"
  ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${sdk} --component host)
set(host_library ${sdk}/${HOST_FILE})
if(NOT EXISTS ${host_library})
  message(FATAL_ERROR "the install has no ${HOST_FILE}")
endif()

# The presets take the host library from the environment.
set(ENV{ROLLMOOT_HOST_LIBRARY} ${host_library})
execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET} -B ${build}
  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "configuring with the ${PRESET} preset failed (${failed})")
endif()
# bin/ afresh, so what it holds afterwards is what this build made; the objects are kept.
file(REMOVE_RECURSE ${build}/bin)
run("building the plugin alone" ${CMAKE_COMMAND} --build ${build})

# Only the plugin: no simulated host, console server or test program of its own.
file(GLOB built RELATIVE ${build}/bin ${build}/bin/*)
list(FILTER built EXCLUDE REGEX "^(${MODULE_NAME}|spdlog\\.dll)$")
if(built)
  message(FATAL_ERROR "building the plugin alone also made: ${built}")
endif()
set(module ${build}/bin/${MODULE_NAME})

run("checking the plugin's imports against the installed host"
  ${BASH} ${SOURCE_DIR}/scripts/check-host-imports.sh ${module} ${host_library})
run("a session of the console server with the plugin built alone"
  ${PYTHON} ${SOURCE_DIR}/tests/smoke/smoke_test.py session
  -- ${EMULATOR} ${SERVER} --plugin ${module})
