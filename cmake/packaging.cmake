# The release package a trader downloads: `cmake --build --preset win32 --target package` makes
# tarvok-<version>-win32.zip with the DLL, the command-line tool, the formula to import, the guides
# and the licence. The DLL is built stripped (plugin/CMakeLists.txt); the tool is stripped here, as
# it is copied into the package, so that the build tree keeps its debug information.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_tarvok_package_system win32)
else()
  set(_tarvok_package_system win64)
endif()

install(TARGETS tarvok RUNTIME DESTINATION .)
install(TARGETS tarvok-run RUNTIME DESTINATION .)
install(CODE "
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --strip-all
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/$<TARGET_FILE_NAME:tarvok-run>\"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR \"cannot strip $<TARGET_FILE_NAME:tarvok-run>\")
  endif()")
# The formula as the terminal's formula manager imports it: GBK with CR LF.
install(FILES ${TARVOK_FORMULA_DIR}/tarvok_formula.gbk DESTINATION . RENAME tarvok_formula.txt)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/README.zh-CN.md DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
# The picture the guides show.
install(FILES ${PROJECT_SOURCE_DIR}/docs/example_chart.png DESTINATION docs)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tarvok)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tarvok-${PROJECT_VERSION}-${_tarvok_package_system})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# Unpacks into a folder of its own.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
