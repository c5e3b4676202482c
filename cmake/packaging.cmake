# The release package a trader downloads: `cmake --build --preset win32 --target package` makes
# tarvok-<version>-win32.zip with the DLL, the command-line tool, the formulas to import, the
# scan's .bat, the guides as HTML pages and the licence. The DLL is built stripped
# (plugin/CMakeLists.txt); the tool is stripped here, as it is copied into the package, so that the
# build tree keeps its debug information.
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
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

# What the zip holds for Windows programs that read the system's Chinese code page, made from
# UTF-8 sources with LF: the two screening formulas for the terminal and the scan's .bat for cmd,
# as GBK with CR LF; and the two guides as self-contained HTML pages (UTF-8, the picture inlined),
# since Windows has no program for .md files. The pages link to each other by their names here.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_files ${CMAKE_BINARY_DIR}/package_files)
set(_made)
foreach(pair "tarvok_select_rising.txt=plugin/tarvok_select_rising.txt"
             "tarvok_select_falling.txt=plugin/tarvok_select_falling.txt"
             "扫描全市场.bat=packaging/scan_market.bat")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 _name)
  list(GET pair 1 _source)
  add_custom_command(
    OUTPUT ${_files}/${_name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_files}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/gbk_crlf.py
            ${PROJECT_SOURCE_DIR}/${_source} ${_files}/${_name}
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/gbk_crlf.py ${PROJECT_SOURCE_DIR}/${_source}
    COMMENT "GBK with CR LF: ${_name}"
    VERBATIM)
  list(APPEND _made ${_files}/${_name})
endforeach()
set(_guide_links --link README.md=guide-en.html --link README.zh-CN.md=使用说明.html)
foreach(pair "使用说明.html=README.zh-CN.md=zh-CN" "guide-en.html=README.md=en")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 _name)
  list(GET pair 1 _source)
  list(GET pair 2 _lang)
  add_custom_command(
    OUTPUT ${_files}/${_name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_files}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/guide_html.py
            ${PROJECT_SOURCE_DIR}/${_source} ${_files}/${_name} --lang ${_lang} ${_guide_links}
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/guide_html.py ${PROJECT_SOURCE_DIR}/${_source}
            ${PROJECT_SOURCE_DIR}/docs/example_chart.png
    COMMENT "The guide as a page: ${_name}"
    VERBATIM)
  list(APPEND _made ${_files}/${_name})
endforeach()
add_custom_target(tarvok_package_files ALL DEPENDS ${_made})
install(FILES ${_made} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tarvok)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tarvok-${PROJECT_VERSION}-${_tarvok_package_system})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# Unpacks into a folder of its own.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
