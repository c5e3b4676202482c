# Tests of tarvok-run: its parts as GoogleTest programs, and the built program itself.
tarvok_test(bar_csv_test bar_csv_test.cpp)
target_link_libraries(bar_csv_test PRIVATE tarvok_tools)
tarvok_test(run_options_test run_options_test.cpp)
target_link_libraries(run_options_test PRIVATE tarvok_tools)

# The program is run by a CMake script, which only works where it can run: not in the Windows build.
if(NOT CMAKE_CROSSCOMPILING)
  foreach(check example layout options worked errors)
    add_test(NAME tool_${check}
             COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:tarvok-run> -DCHECK=${check}
                     -DEXAMPLE=${TARVOK_EXAMPLE_BARS}
                     -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/tool_${check}
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/run_tool_check.cmake)
  endforeach()
endif()
