# Sanitizers as an INTERFACE target, switched on by ROLLMOOT_SANITIZERS (e.g. "address;undefined").
set(ROLLMOOT_SANITIZERS "" CACHE STRING "Sanitizers to build with, e.g. address;undefined")
add_library(rollmoot_sanitizers INTERFACE)
if(ROLLMOOT_SANITIZERS)
  list(JOIN ROLLMOOT_SANITIZERS "," _rollmoot_sanitize)
  target_compile_options(rollmoot_sanitizers INTERFACE
    -fsanitize=${_rollmoot_sanitize}
    -fno-sanitize-recover=all  # a finding fails the run instead of scrolling past
    -fno-omit-frame-pointer)
  target_link_options(rollmoot_sanitizers INTERFACE -fsanitize=${_rollmoot_sanitize})
endif()
