# Writes OUT, a C++ source that holds the file IN as BuiltinLanguageText().
# Run by the build whenever IN changes: cmake -DIN=... -DOUT=... -P this file.
file(READ ${IN} text)
string(FIND "${text}" ")vexo_language\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} holds the raw-string delimiter")
endif()
file(WRITE ${OUT}.new
  "// Generated from data/language.sys by app/embed_language.cmake; do not edit.\n"
  "#include \"app/builtin_language.h\"\n\n"
  "namespace vexo {\n\n"
  "std::string_view BuiltinLanguageText() {\n"
  "  static constexpr char kText[] = R\"vexo_language(${text})vexo_language\";\n"
  "  return {kText, sizeof kText - 1};\n"
  "}\n\n"
  "}  // namespace vexo\n")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.new)
