# The Windows tarvok-run.exe with the Windows plug-in, through the cross build's emulator (Wine):
# the plug-in's functions, reached through its table, give the built-in results bit for bit.
#   cmake -DEMULATOR=a,b -DTOOL= -DPLUGIN= -DEXAMPLE= -P plugin_tool_cross_check.cmake
# Says "skipped:" (the test's skip expression) when the emulator cannot run the program at all.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" emulator "${EMULATOR}")

foreach(params "" "--period;9;--multiplier;3")
  execute_process(COMMAND ${emulator} ${TOOL} ${params} --exact ${EXAMPLE}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE builtin ERROR_VARIABLE err)
  if(rc EQUAL 77)
    message(STATUS "skipped: ${err}")
    return()
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "tarvok-run ${params}: exit ${rc}: ${err}")
  endif()
  execute_process(COMMAND ${emulator} ${TOOL} --plugin ${PLUGIN} ${params} --exact ${EXAMPLE}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE viaPlugin ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "tarvok-run --plugin ${params}: exit ${rc}: ${err}")
  endif()
  if(NOT viaPlugin STREQUAL builtin OR NOT builtin MATCHES "^bar,stop,state\n0,[0-9a-f]+,0\n")
    message(FATAL_ERROR "--plugin ${params}: the output differs from the built-in functions")
  endif()
  string(FIND "${err}" "[RegisterTdxFunc]DLL" at)
  if(at LESS 0)
    message(FATAL_ERROR "--plugin ${params}: the plug-in's log line is not on stderr: ${err}")
  endif()
endforeach()
message(STATUS "tarvok-run --plugin gives the built-in bits")
