# Turns text files into a C++ source that defines one std::string_view per file, so the
# strings tables travel inside the binaries and never depend on where they were installed.
function(trackfolio_embed_text output_cpp namespace)
    set(inputs ${ARGN})
    add_custom_command(
        OUTPUT ${output_cpp}
        COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output_cpp} -DNAMESPACE=${namespace}
                "-DINPUTS=${inputs}" -P ${PROJECT_SOURCE_DIR}/cmake/EmbedTextScript.cmake
        DEPENDS ${inputs} ${PROJECT_SOURCE_DIR}/cmake/EmbedTextScript.cmake
        COMMENT "Embedding ${namespace} texts"
        VERBATIM)
endfunction()
