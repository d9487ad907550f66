# The checks behind the fuzz targets. Included by fuzz/ and by the tests, which replay the
# committed corpus through them with any compiler.
if(NOT TARGET rollmoot_fuzz_harness)
  add_library(rollmoot_fuzz_harness STATIC
    ${CMAKE_CURRENT_LIST_DIR}/audit_replay.cpp
    ${CMAKE_CURRENT_LIST_DIR}/chat_harness.cpp
    ${CMAKE_CURRENT_LIST_DIR}/config_harness.cpp
    ${CMAKE_CURRENT_LIST_DIR}/line_shape.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notation_harness.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notation_server.cpp)
  # The real command table, so messages reach the very callbacks the plugin registers.
  target_link_libraries(rollmoot_fuzz_harness PUBLIC
    rollmoot_commands rollmoot_config rollmoot_dice rollmoot_log AsaApi rollmoot::nlohmann_json)
  rollmoot_target_defaults(rollmoot_fuzz_harness)
endif()
