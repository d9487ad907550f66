# Warnings as an INTERFACE target: every target of ours links it PRIVATE. They are the C++
# compiler's options only: the resource compiler of the Windows DLL knows none of them.
add_library(rollmoot_warnings INTERFACE)
if(MSVC)
  set(_rollmoot_warnings /W4 /permissive- /utf-8)
  # getenv, fopen, localtime and strerror are the portable calls we mean; MSVC's "unsafe"
  # deprecation warnings about them would stop the build under /WX.
  target_compile_definitions(rollmoot_warnings INTERFACE _CRT_SECURE_NO_WARNINGS)
  if(ROLLMOOT_WARNINGS_AS_ERRORS)
    list(APPEND _rollmoot_warnings /WX)
  endif()
else()
  set(_rollmoot_warnings
    -Wall        # the usual suspects
    -Wextra      # unused parameters, sign comparisons and more
    -Wpedantic   # no compiler extensions
    -Wconversion # silent narrowing, which matters for 16-bit text and 32-bit counts
    -Wshadow     # a local hiding another name
  )
  if(ROLLMOOT_WARNINGS_AS_ERRORS)
    list(APPEND _rollmoot_warnings -Werror)
  endif()
endif()
target_compile_options(rollmoot_warnings INTERFACE "$<$<COMPILE_LANGUAGE:CXX>:${_rollmoot_warnings}>")
unset(_rollmoot_warnings)
