# Warnings as an INTERFACE target: every target of ours links it PRIVATE.
add_library(rollmoot_warnings INTERFACE)
if(MSVC)
  target_compile_options(rollmoot_warnings INTERFACE /W4 /permissive- /utf-8)
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
