# Script mode: writes OUTPUT with an array of {name, text} for every file in INPUTS.
set(body "// Generated from the files listed below; do not edit.\n#include <string_view>\n#include <utility>\n\nnamespace ${NAMESPACE} {\n\nextern const std::pair<std::string_view, std::string_view> kEmbeddedTexts[];\nextern const int kEmbeddedTextCount;\n\nconst std::pair<std::string_view, std::string_view> kEmbeddedTexts[] = {\n")
set(count 0)
foreach(input IN LISTS INPUTS)
    get_filename_component(name ${input} NAME)
    file(READ ${input} text)
    # Raw string literals cannot hold their own delimiter; no table contains it.
    string(APPEND body "    {\"${name}\", R\"tfembed(${text})tfembed\"},\n")
    math(EXPR count "${count} + 1")
endforeach()
string(APPEND body "};\nconst int kEmbeddedTextCount = ${count};\n\n}  // namespace ${NAMESPACE}\n")
file(WRITE ${OUTPUT}.tmp "${body}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
