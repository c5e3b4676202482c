# Tests of tarvok-run: its parts as GoogleTest programs, and the built program itself.
tarvok_test(bar_csv_test bar_csv_test.cpp)
target_link_libraries(bar_csv_test PRIVATE tarvok_tools)
tarvok_test(chart_svg_test chart_svg_test.cpp)
target_link_libraries(chart_svg_test PRIVATE tarvok_tools)
tarvok_test(day_file_test day_file_test.cpp)
target_link_libraries(day_file_test PRIVATE tarvok_tools tarvok_fmt)
tarvok_test(run_options_test run_options_test.cpp)
target_link_libraries(run_options_test PRIVATE tarvok_tools)
tarvok_test(market_scan_test market_scan_test.cpp)
target_link_libraries(market_scan_test PRIVATE tarvok_tools)
# The scan's workers alone, so that the ThreadSanitizer run of CI takes them too.
add_test(NAME market_scan_concurrency COMMAND market_scan_test --gtest_filter=*NumberOfWorkers)
set_tests_properties(market_scan_concurrency PROPERTIES SKIP_RETURN_CODE 77)
# Both write the same scratch folder: never at the same time.
set_tests_properties(market_scan_test market_scan_concurrency PROPERTIES RESOURCE_LOCK market_scan_workers)
tarvok_test(tool_text_test tool_text_test.cpp)
target_link_libraries(tool_text_test PRIVATE tarvok_tools)

# The program itself is run by scripts, which only works where it can run: not in the Windows build.
if(NOT CMAKE_CROSSCOMPILING)
  foreach(check example layout options worked errors)
    add_test(NAME tool_${check}
             COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:tarvok-run> -DCHECK=${check}
                     -DEXAMPLE=${TARVOK_EXAMPLE_BARS}
                     -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/tool_${check}
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/run_tool_check.cmake)
  endforeach()

  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  # The terminal's daily files, written by the test.
  add_test(NAME tool_day_files
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/day_tool_check.py
            $<TARGET_FILE:tarvok-run> ${CMAKE_CURRENT_BINARY_DIR}/tool_day_files)
  # Bad and odd inputs: one table of statuses and messages.
  add_library(fake_plugin_echoing MODULE fake_plugin.cpp)
  target_link_libraries(fake_plugin_echoing PRIVATE tarvok_indicator)
  target_compile_definitions(fake_plugin_echoing PRIVATE FAKE_PLUGIN_ECHOING)
  add_test(NAME tool_hostile_input
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/hostile_input_check.py
            $<TARGET_FILE:tarvok-run> ${CMAKE_CURRENT_BINARY_DIR}/tool_hostile_input ${TARVOK_EXAMPLE_BARS}
            $<TARGET_FILE:tarvok> $<TARGET_FILE:fake_plugin_echoing>)
  # The chart, drawn by a real renderer.
  find_program(RSVG_CONVERT rsvg-convert REQUIRED)
  add_test(NAME tool_chart_renders
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/chart_render_check.py
            $<TARGET_FILE:tarvok-run> ${RSVG_CONVERT} ${TARVOK_EXAMPLE_BARS}
            ${CMAKE_CURRENT_BINARY_DIR}/tool_chart_renders)
  # The market scan over a terminal-like folder, and its page in a real browser.
  add_test(NAME tool_scan
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/scan_tool_check.py
            $<TARGET_FILE:tarvok-run> ${CMAKE_CURRENT_BINARY_DIR}/tool_scan)
  find_program(CHROMIUM chromium REQUIRED)
  add_test(NAME tool_scan_page_in_chromium
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/scan_page_check.py
            $<TARGET_FILE:tarvok-run> ${CHROMIUM} ${PROJECT_SOURCE_DIR}/examples/make_synthetic_market.py
            ${CMAKE_CURRENT_BINARY_DIR}/tool_scan_page)
endif()
if(WIN32)
  # The same table for the Windows tool under Wine, without the native fake plug-in.
  add_test(NAME tool_hostile_input_under_wine
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/hostile_input_check.py
            $<TARGET_FILE:tarvok-run> ${CMAKE_CURRENT_BINARY_DIR}/tool_hostile_input ${TARVOK_EXAMPLE_BARS}
            $<TARGET_FILE:tarvok> --emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(tool_hostile_input_under_wine PROPERTIES SKIP_RETURN_CODE 77)
  # The market scan of the Windows tool under Wine (the emulator's command last).
  add_test(NAME tool_scan_under_wine
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/scan_tool_check.py
            $<TARGET_FILE:tarvok-run> ${CMAKE_CURRENT_BINARY_DIR}/tool_scan --emulator
            ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(tool_scan_under_wine PROPERTIES SKIP_RETURN_CODE 77)
endif()
