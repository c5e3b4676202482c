# Tests of the plug-in: the run log's utilities, registration and the formula text, the built
# library's exports and contents, and tarvok-run driving it as the terminal does.
tarvok_test(run_log_test run_log_test.cpp)
target_link_libraries(run_log_test PRIVATE tarvok_plugin_objs)

tarvok_test(registration_test registration_test.cpp)
target_link_libraries(registration_test PRIVATE tarvok_plugin_objs)
target_include_directories(registration_test PRIVATE ${TARVOK_FORMULA_DIR})
add_dependencies(registration_test tarvok_formula_generated)

tarvok_test(plugin_host_test plugin_host_test.cpp)
target_link_libraries(plugin_host_test PRIVATE tarvok_tools)
# The built plug-in, whole and cut short, for the check made before loading.
target_compile_definitions(plugin_host_test PRIVATE TARVOK_PLUGIN_FILE="$<TARGET_FILE:tarvok>")
add_dependencies(plugin_host_test tarvok)

# The formula text is enciphered in the built library: its plain form is nowhere in it (the
# generated GBK text is the control that shows the check can see it).
add_test(NAME plugin_formula_not_in_plain_text
  COMMAND ${CMAKE_COMMAND} -DFILES=$<TARGET_FILE:tarvok> -DCONTROL=${TARVOK_FORMULA_DIR}/tarvok_formula.gbk
          -P ${CMAKE_CURRENT_SOURCE_DIR}/check_plugin_binary.cmake)

if(NOT CMAKE_CROSSCOMPILING)
  # libtarvok.so exports the two names the terminal and formula readers look up, and nothing else.
  add_test(NAME plugin_so_exports
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:tarvok>
            -DEXPORTS=RegisterTdxFunc,gettdxcode -P ${CMAKE_CURRENT_SOURCE_DIR}/check_plugin_binary.cmake)

  # Stand-ins for plug-ins that fail the terminal's expectations.
  foreach(fake refusing incomplete empty)
    add_library(fake_plugin_${fake} MODULE fake_plugin.cpp)
    target_link_libraries(fake_plugin_${fake} PRIVATE tarvok_indicator)
    string(TOUPPER ${fake} fake_upper)
    target_compile_definitions(fake_plugin_${fake} PRIVATE FAKE_PLUGIN_${fake_upper})
  endforeach()

  foreach(check same formula errors)
    add_test(NAME tool_plugin_${check}
             COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:tarvok-run> -DCHECK=${check}
                     -DPLUGIN=$<TARGET_FILE:tarvok> -DEXAMPLE=${TARVOK_EXAMPLE_BARS}
                     -DFORMULA=${TARVOK_FORMULA_DIR}/tarvok_formula.gbk
                     -DREFUSING=$<TARGET_FILE:fake_plugin_refusing>
                     -DINCOMPLETE=$<TARGET_FILE:fake_plugin_incomplete>
                     -DEMPTY=$<TARGET_FILE:fake_plugin_empty>
                     -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/tool_plugin_${check}
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/plugin_tool_check.cmake)
  endforeach()
endif()

if(WIN32)
  # The Windows tool with the Windows plug-in, under Wine.
  string(REPLACE ";" "," _emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
  add_test(NAME tool_plugin_same_under_wine
    COMMAND ${CMAKE_COMMAND} -DEMULATOR=${_emulator} -DTOOL=$<TARGET_FILE:tarvok-run>
            -DPLUGIN=$<TARGET_FILE:tarvok> -DEXAMPLE=${TARVOK_EXAMPLE_BARS}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/plugin_tool_cross_check.cmake)
  set_tests_properties(tool_plugin_same_under_wine PROPERTIES SKIP_REGULAR_EXPRESSION "skipped:")
endif()
