# Runs tarvok-run with the built plug-in, one CHECK per test:
#   cmake -DTOOL= -DPLUGIN= -DCHECK= -DEXAMPLE= -DFORMULA=<GBK text> -DREFUSING= -DINCOMPLETE= -DEMPTY=
#         -DWORK_DIR= -P plugin_tool_check.cmake
# A copy of the tool stands in WORK_DIR, in the place of the terminal's program, and runs from
# WORK_DIR/cwd: the plug-in's program directory is the executable's real folder, not the current
# one, and natively its separator is the slash.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/T0002/dlls ${WORK_DIR}/cwd)
file(REAL_PATH ${WORK_DIR} WORK_DIR)
file(COPY ${TOOL} DESTINATION ${WORK_DIR})
get_filename_component(tool_name ${TOOL} NAME)
set(TOOL ${WORK_DIR}/${tool_name})

macro(run_tool)
  execute_process(COMMAND ${TOOL} ${ARGN} WORKING_DIRECTORY ${WORK_DIR}/cwd
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
endmacro()

macro(run_ok)
  run_tool(${ARGN})
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "tarvok-run ${ARGN}: exit ${rc}, stderr: ${err}")
  endif()
endmacro()

# GBK bytes of the registration message, and the UTF-8 of the folder announcement.
string(ASCII 215 162 178 225 179 201 185 166 163 161 registered_gbk)
set(registered "[RegisterTdxFunc]DLL${registered_gbk}")
string(ASCII 231 155 174 229 189 149 229 136 155 229 187 186 230 136 144 229 138 159 created_utf8)

if(CHECK STREQUAL "same")
  # The plug-in's functions, reached through its table, give the built-in results bit for bit,
  # with the parameters set through function 10 too; its console output goes to stderr.
  foreach(params "" "--period;9;--multiplier;3")
    run_ok(${params} --exact ${EXAMPLE})
    set(builtin "${out}")
    run_ok(--plugin ${PLUGIN} ${params} --exact ${EXAMPLE})
    if(NOT out STREQUAL builtin)
      message(FATAL_ERROR "--plugin ${params}: the output differs from the built-in functions")
    endif()
    string(FIND "${err}" "${registered}" at)
    if(at LESS 0)
      message(FATAL_ERROR "--plugin ${params}: no registration line on stderr: ${err}")
    endif()
    string(FIND "${err}" "${created_utf8}: ${WORK_DIR}/T0002/dlls/logs\n" at)
    list(APPEND announced ${at})
  endforeach()
  string(FIND "${out}" "\n" first_end)
  string(SUBSTRING "${out}" 0 ${first_end} first_line)
  if(NOT first_line STREQUAL "bar,stop,state")
    message(FATAL_ERROR "output starts with \"${first_line}\"")
  endif()

  # The first run created the log folder and said so; each run wrote its line to the day's file
  # (two files when the runs straddle midnight).
  list(GET announced 0 first)
  list(GET announced 1 second)
  if(first LESS 0 OR NOT second EQUAL -1)
    message(FATAL_ERROR "the log folder was announced at [${announced}] in the two runs' stderr")
  endif()
  file(GLOB logs ${WORK_DIR}/T0002/dlls/logs/app_*.log)
  set(log "")
  foreach(file IN LISTS logs)
    if(NOT file MATCHES "/app_[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]\\.log$")
      message(FATAL_ERROR "log file name ${file}")
    endif()
    file(READ ${file} text)
    string(APPEND log "${text}")
  endforeach()
  string(REGEX MATCHALL "\\[[0-9-]+ [0-9:.]+\\] \\[INF\\] [^\n]*\n" lines "${log}")
  list(LENGTH lines n_lines)
  string(LENGTH "${log}" log_size)
  string(LENGTH "${lines}" lines_size)
  math(EXPR lines_size "${lines_size} - 1")  # the list's separator
  if(NOT n_lines EQUAL 2 OR NOT log_size EQUAL lines_size)
    message(FATAL_ERROR "log files [${logs}]:\n${log}")
  endif()
  string(REPLACE "${registered}\n" "" rest "${log}")
  string(LENGTH "${rest}" rest_size)
  string(LENGTH "${registered}\n" line_size)
  math(EXPR expected_rest "${log_size} - 2 * ${line_size}")
  if(NOT rest_size EQUAL expected_rest)
    message(FATAL_ERROR "not two registration lines in [${logs}]:\n${log}")
  endif()

elseif(CHECK STREQUAL "formula")
  # Written to a file by the tool itself: CMake would change CR LF in a captured output.
  execute_process(COMMAND ${TOOL} --plugin ${PLUGIN} --formula WORKING_DIRECTORY ${WORK_DIR}
                  OUTPUT_FILE ${WORK_DIR}/formula.out RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "--formula: exit ${rc}, stderr: ${err}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/formula.out ${FORMULA}
                  RESULT_VARIABLE differs)
  if(differs OR NOT err STREQUAL "")
    message(FATAL_ERROR "--formula: the text differs from ${FORMULA} (stderr: ${err})")
  endif()

elseif(CHECK STREQUAL "errors")
  # A clear message, exit status 2, nothing on stdout.
  macro(expect_error pattern)
    run_tool(${ARGN})
    if(NOT rc EQUAL 2 OR NOT out STREQUAL "" OR NOT err MATCHES "tarvok-run: ${pattern}")
      message(FATAL_ERROR "tarvok-run ${ARGN}: exit ${rc}, stdout \"${out}\", stderr \"${err}\"; "
                          "expected exit 2 and an error matching \"${pattern}\"")
    endif()
  endmacro()
  expect_error("cannot load the plug-in ${WORK_DIR}/missing.so: " --plugin ${WORK_DIR}/missing.so ${EXAMPLE})
  expect_error("the plug-in [^\n]* does not export RegisterTdxFunc" --plugin ${EMPTY} ${EXAMPLE})
  expect_error("the plug-in [^\n]* refused registration" --plugin ${REFUSING} ${EXAMPLE})
  expect_error("function 11 is missing from the plug-in's table" --plugin ${INCOMPLETE} ${EXAMPLE})
  expect_error("the plug-in [^\n]* does not export gettdxcode" --plugin ${REFUSING} --formula)
  expect_error("--formula needs --plugin PATH" --formula ${EXAMPLE})
  expect_error("--plugin needs a path" --plugin=)

else()
  message(FATAL_ERROR "unknown CHECK \"${CHECK}\"")
endif()
