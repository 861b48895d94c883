# Writes OUTPUT, a C++ source defining `extern const char SYMBOL[]` as the
# bytes of INPUT and a NUL (see embed.cmake).
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
# Sixteen bytes a line.
string(REGEX REPLACE "(('\\\\x..',){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT} "// Made from ${INPUT}; edit that file instead.\n"
  "extern const char ${SYMBOL}[];\n"
  "const char ${SYMBOL}[] = {\n    ${bytes}'\\0'};\n")
