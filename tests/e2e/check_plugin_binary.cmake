# Static checks of the built plug-in, run without loading it:
#   -DFILES=<binaries> -DCONTROL=<GBK formula text>: no binary holds the formula's plain text (the
#     control, which does, shows that the search would see it);
#   -DNM=<nm> -DLIBRARY=<libtarvok.so> -DEXPORTS=a,b: the library exports exactly these names.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/expect_exports.cmake)

set(marker "TDXDLL1")

if(DEFINED FILES)
  file(STRINGS ${CONTROL} found REGEX "${marker}")
  if(NOT found)
    message(FATAL_ERROR "the control ${CONTROL} does not show \"${marker}\": the check sees nothing")
  endif()
  foreach(binary IN LISTS FILES)
    file(STRINGS ${binary} found REGEX "${marker}")
    if(found)
      message(FATAL_ERROR "${binary} holds the formula text in plain form: ${found}")
    endif()
    message(STATUS "no \"${marker}\" in ${binary}")
  endforeach()
endif()

if(DEFINED LIBRARY)
  execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot read the dynamic symbols of ${LIBRARY}")
  endif()
  string(REPLACE "\n" ";" lines "${symbols}")
  set(found "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
      list(APPEND found "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  expect_exports(${LIBRARY} "${found}" "${EXPORTS}")
endif()
