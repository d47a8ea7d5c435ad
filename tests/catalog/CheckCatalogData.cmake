# Feeds the catalog generator Linux data with one slip each and checks that
# the build refuses it with the right reason; a well-formed file passes.
#   cmake -DGENERATOR=GenerateCatalog.cmake -DDATA=<catalog data folder>
#         -DWORK=<scratch folder> -P CheckCatalogData.cmake
cmake_minimum_required(VERSION 3.25)

set(valid "Firefox\n    desktop firefox-esr\n    path .mozilla/firefox\n    check run\n")
# Each case: a name, the Linux data, the reason expected in the error.
set(cases
    "unknown name|Firefox Nightly\n    path .x\n    check run\n|is not a catalog entry"
    "absolute path|Firefox\n    path /etc/firefox\n    check run\n|is absolute"
    "home-relative with a tilde|Firefox\n    path ~/.mozilla\n    check run\n|starts with"
    "a parent component|Firefox\n    path .mozilla/../.ssh\n    check run\n|component"
    "a trailing slash|Firefox\n    path .mozilla/\n    check run\n|component"
    "a Mac location|Firefox\n    path Library/Firefox\n    check run\n|is a Mac location"
    "nested paths|Firefox\n    path .mozilla\n    path .mozilla/firefox\n    check run\n|overlaps"
    "desktop ID with its extension|Firefox\n    desktop firefox.desktop\n    check run\n|without"
    "desktop ID with a slash|Firefox\n    desktop apps/firefox\n    check run\n|is not a desktop ID"
    "Flatpak ID of two elements|Firefox\n    flatpak org.firefox\n    check run\n|is not a Flatpak"
    "Flatpak ID with a slash|Firefox\n    flatpak org.mozilla/firefox\n    check run\n|is not a Flatpak"
    "snap name in capitals|Firefox\n    snap Firefox\n    check run\n|is not a snap name"
    "one ID for two entries|Visual Studio Code\n    snap web\n    check run\n\nFirefox\n    snap web\n    check run\n|names two entries"
    "out of catalog order|Firefox\n    snap firefox\n    check run\n\nVisual Studio Code\n    snap code\n    check run\n|out of catalog order"
    "an entry twice|Firefox\n    snap firefox\n    check run\n\nFirefox\n    snap other\n    check run\n|twice"
    "no check line|Firefox\n    snap firefox\n|does not say how"
    "nothing but a check|Firefox\n    check run\n|neither an ID nor a path"
    "an unknown key|Firefox\n    paths .mozilla\n    check run\n|unknown key")

function(run_generator linux_text out_result out_error)
    file(WRITE "${WORK}/Linux.txt" "${linux_text}")
    execute_process(
        COMMAND ${CMAKE_COMMAND} -DCATALOG=${DATA}/Catalog.txt -DALIASES=${DATA}/Aliases.txt
                -DEXECUTABLES=${DATA}/Executables.txt -DLINUX_DATA=${WORK}/Linux.txt
                -DOUTPUT=${WORK}/CatalogTables.cpp -DIDENTITIES=${WORK}/CatalogIdentities.cpp
                -P ${GENERATOR}
        RESULT_VARIABLE result ERROR_VARIABLE error OUTPUT_QUIET)
    set(${out_result} "${result}" PARENT_SCOPE)
    set(${out_error} "${error}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY "${WORK}")
run_generator("${valid}" result error)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "well-formed Linux data was refused:\n${error}")
endif()
set(failures 0)
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 what)
    list(GET parts 1 text)
    list(GET parts 2 reason)
    run_generator("${text}" result error)
    # CMake wraps a message's lines at a width, so where a line breaks depends
    # on the length of the paths in it (the build folder's): match on the text
    # with every run of white space made one space.
    string(REGEX REPLACE "[ \t\n]+" " " error "${error}")
    if(result EQUAL 0)
        message(SEND_ERROR "${what}: accepted")
        math(EXPR failures "${failures} + 1")
    elseif(NOT error MATCHES "${reason}")
        message(SEND_ERROR "${what}: refused for another reason:\n${error}")
        math(EXPR failures "${failures} + 1")
    endif()
endforeach()
if(failures GREATER 0)
    message(FATAL_ERROR "${failures} slips were not refused as they should be")
endif()
