# Writes a text file into a header as a string constant, so that a document's style sheet or script
# can live in a file of its own and still be compiled in:
#   cmake -DINPUT=<file> -DOUTPUT=<header> -DNAME=<constant> -P embed_text.cmake
# The constant holds a line end, then the file's bytes.
file(READ ${INPUT} text)
string(FIND "${text}" ")embedded\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} holds the raw string's end marker")
endif()
get_filename_component(name ${INPUT} NAME)
file(WRITE ${OUTPUT}.tmp "// Made at build time from ${name}.\n#pragma once\n\ninline constexpr const char ${NAME}[] = R\"embedded(\n${text})embedded\";\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
