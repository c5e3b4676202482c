# fmt from Debian's libfmt-dev: the compiled library natively, header-only in the cross builds, where the
# x86-64 Linux library cannot be linked.
if(CMAKE_CROSSCOMPILING)
  if(NOT EXISTS /usr/include/fmt/format.h)
    message(FATAL_ERROR "fmt headers not found: install libfmt-dev")
  endif()
  # Only fmt's own folder is put on the include path, not all of /usr/include.
  set(_fmt_dir ${CMAKE_BINARY_DIR}/fmt-include)
  file(MAKE_DIRECTORY ${_fmt_dir})
  file(CREATE_LINK /usr/include/fmt ${_fmt_dir}/fmt SYMBOLIC)
  add_library(tarvok_fmt INTERFACE)
  target_include_directories(tarvok_fmt SYSTEM INTERFACE ${_fmt_dir})
  target_compile_definitions(tarvok_fmt INTERFACE FMT_HEADER_ONLY=1)
else()
  find_package(fmt 9 REQUIRED)
  add_library(tarvok_fmt INTERFACE)
  target_link_libraries(tarvok_fmt INTERFACE fmt::fmt)
endif()
