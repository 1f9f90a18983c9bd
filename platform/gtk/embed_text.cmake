# Writes the dialog layout as a C++ raw string, so the installed program
# needs no data file beside it. Run as: cmake -DINPUT=... -DOUTPUT=... -DNAME=... -P
file(READ "${INPUT}" content)
string(FIND "${content}" ")tkui\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} holds the raw-string terminator )tkui\"")
endif()
get_filename_component(source_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
  "// Made from ${source_name} at build time; edit that file instead.\n"
  "namespace tk::gtk {\n"
  "extern const char ${NAME}[];\n"
  "const char ${NAME}[] = R\"tkui(${content})tkui\";\n"
  "}  // namespace tk::gtk\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
