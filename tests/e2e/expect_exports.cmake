# expect_exports(BINARY FOUND EXPECTED): the names a binary exports (a list) are exactly the
# comma-separated EXPECTED ones, in any order.
function(expect_exports binary found expected)
  list(SORT found)
  string(REPLACE "," ";" want "${expected}")
  list(SORT want)
  if(NOT found STREQUAL want)
    message(FATAL_ERROR "${binary} exports [${found}], expected [${want}]")
  endif()
  message(STATUS "exports ${found}")
endfunction()
