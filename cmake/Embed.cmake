# quillfen_embed_file(TARGET target INPUT file SYMBOL name NAMESPACE ns)
# Compiles `file` into `target` as `std::string_view ns::name()`, regenerated
# whenever the file changes.
function(quillfen_embed_file)
    cmake_parse_arguments(E "" "TARGET;INPUT;SYMBOL;NAMESPACE" "" ${ARGN})
    set(output ${CMAKE_CURRENT_BINARY_DIR}/embedded/${E_SYMBOL}.cpp)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${E_INPUT} -DOUTPUT=${output} -DSYMBOL=${E_SYMBOL}
                -DNAMESPACE=${E_NAMESPACE} -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
        DEPENDS ${E_INPUT} ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
        COMMENT "Embedding ${E_INPUT}"
        VERBATIM)
    target_sources(${E_TARGET} PRIVATE ${output})
endfunction()
