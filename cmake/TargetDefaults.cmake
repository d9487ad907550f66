# Every target of ours: warnings and sanitizers (cmake/Warnings.cmake, cmake/Sanitizers.cmake).
function(rollmoot_target_defaults target)
  target_link_libraries(${target} PRIVATE rollmoot_warnings rollmoot_sanitizers)
endfunction()
