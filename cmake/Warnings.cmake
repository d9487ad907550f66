# Warnings as an INTERFACE target: every target of ours links it PRIVATE.
add_library(rollmoot_warnings INTERFACE)
if(MSVC)
  target_compile_options(rollmoot_warnings INTERFACE /W4 /permissive- /utf-8)
  # getenv, fopen, localtime and strerror are the portable calls we mean; MSVC's "unsafe"
  # deprecation warnings about them would stop the build under /WX.
  target_compile_definitions(rollmoot_warnings INTERFACE _CRT_SECURE_NO_WARNINGS)
  if(ROLLMOOT_WARNINGS_AS_ERRORS)
    target_compile_options(rollmoot_warnings INTERFACE /WX)
  endif()
else()
  target_compile_options(rollmoot_warnings INTERFACE
    -Wall        # the usual suspects
    -Wextra      # unused parameters, sign comparisons and more
    -Wpedantic   # no compiler extensions
    -Wconversion # silent narrowing, which matters for 16-bit text and 32-bit counts
    -Wshadow     # a local hiding another name
  )
  if(ROLLMOOT_WARNINGS_AS_ERRORS)
    target_compile_options(rollmoot_warnings INTERFACE -Werror)
  endif()
endif()
