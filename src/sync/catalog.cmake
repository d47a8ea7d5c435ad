# The app catalog: its text files are compiled into quillfen_core as tables of
# constant data, regenerated whenever a text file or the generator changes.
set(QUILLFEN_CATALOG_DIR ${CMAKE_CURRENT_LIST_DIR}/catalog)
set(QUILLFEN_CATALOG_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/generated/CatalogTables.cpp)
set(QUILLFEN_CATALOG_INPUTS
    ${QUILLFEN_CATALOG_DIR}/Catalog.txt
    ${QUILLFEN_CATALOG_DIR}/Aliases.txt
    ${QUILLFEN_CATALOG_DIR}/Executables.txt)

add_custom_command(
    OUTPUT ${QUILLFEN_CATALOG_SOURCE}
    COMMAND ${CMAKE_COMMAND}
            -DCATALOG=${QUILLFEN_CATALOG_DIR}/Catalog.txt
            -DALIASES=${QUILLFEN_CATALOG_DIR}/Aliases.txt
            -DEXECUTABLES=${QUILLFEN_CATALOG_DIR}/Executables.txt
            -DOUTPUT=${QUILLFEN_CATALOG_SOURCE}
            -P ${QUILLFEN_CATALOG_DIR}/GenerateCatalog.cmake
    DEPENDS ${QUILLFEN_CATALOG_INPUTS} ${QUILLFEN_CATALOG_DIR}/GenerateCatalog.cmake
    COMMENT "Generating the app catalog tables"
    VERBATIM)
target_sources(quillfen_core PRIVATE ${QUILLFEN_CATALOG_SOURCE})
