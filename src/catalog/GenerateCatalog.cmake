# Turns the catalog's text files into a C++ source of constant tables:
#   cmake -DCATALOG=Catalog.txt -DALIASES=Aliases.txt -DEXECUTABLES=Executables.txt
#         -DOUTPUT=CatalogTables.cpp -P GenerateCatalog.cmake
# The source defines the functions declared in "catalog/CatalogTables.h".
# Any line that does not follow the format stops the build with its file and
# line number, so a slip in the data never reaches the program.
cmake_minimum_required(VERSION 3.25)

foreach(input CATALOG ALIASES EXECUTABLES OUTPUT)
    if(NOT DEFINED ${input})
        message(FATAL_ERROR "GenerateCatalog: ${input} is not set")
    endif()
endforeach()

# Reads `file` into a list of its lines (blank lines included). Semicolons,
# brackets and backslashes would change how CMake splits or quotes the lines,
# and none belongs in a name or a settings path, so they are refused.
function(catalog_read_lines file out_var)
    file(READ "${file}" text)
    foreach(character ";" "[" "]" "\\")
        string(FIND "${text}" "${character}" position)
        if(NOT position EQUAL -1)
            message(FATAL_ERROR "${file}: the character '${character}' is not allowed")
        endif()
    endforeach()
    string(REPLACE "\r" "" text "${text}")
    string(REPLACE "\n" ";" lines "${text}")
    set(${out_var} "${lines}" PARENT_SCOPE)
endfunction()

function(catalog_fail file line_number message)
    message(FATAL_ERROR "${file}:${line_number}: ${message}")
endfunction()

# Writes `text` as the body of a C++ string literal into `out_var`.
function(catalog_literal text out_var)
    string(REPLACE "\"" "\\\"" escaped "${text}")
    set(${out_var} "\"${escaped}\"" PARENT_SCOPE)
endfunction()

function(catalog_check_blanks file line_number line)
    string(REGEX MATCH "[ \t]$" trailing "${line}")
    if(trailing)
        catalog_fail("${file}" ${line_number} "the line ends in a blank")
    endif()
    string(FIND "${line}" "\t" tab)
    if(NOT tab EQUAL -1)
        catalog_fail("${file}" ${line_number} "tabs are not allowed")
    endif()
endfunction()

# --- The entries -------------------------------------------------------------

catalog_read_lines("${CATALOG}" lines)
set(paths_table "")
set(entries_table "")
set(names "")
set(entry_name "")
set(entry_first 0)
set(entry_count 0)
set(entry_usable 0)
set(path_index 0)
set(line_number 0)

macro(catalog_close_entry)
    if(NOT entry_name STREQUAL "")
        if(entry_usable EQUAL 0)
            catalog_fail("${CATALOG}" ${entry_line} "the entry \"${entry_name}\" has no settings path")
        endif()
        catalog_literal("${entry_name}" literal)
        string(APPEND entries_table "    {${literal}, ${entry_first}, ${entry_count}},\n")
    endif()
endmacro()

foreach(line IN LISTS lines)
    math(EXPR line_number "${line_number} + 1")
    if(line STREQUAL "" OR line MATCHES "^//")
        continue()
    endif()
    catalog_check_blanks("${CATALOG}" ${line_number} "${line}")
    if(line MATCHES "^    ([^ ].*)$")
        set(path "${CMAKE_MATCH_1}")
        if(entry_name STREQUAL "")
            catalog_fail("${CATALOG}" ${line_number} "a path before the first entry name")
        endif()
        catalog_literal("${path}" literal)
        string(APPEND paths_table "    ${literal},\n")
        math(EXPR path_index "${path_index} + 1")
        math(EXPR entry_count "${entry_count} + 1")
        if(NOT path MATCHES "^#")
            math(EXPR entry_usable "${entry_usable} + 1")
        endif()
    elseif(line MATCHES "^ ")
        catalog_fail("${CATALOG}" ${line_number} "a path line is indented by exactly four spaces")
    else()
        catalog_close_entry()
        set(entry_name "${line}")
        set(entry_line ${line_number})
        set(entry_first ${path_index})
        set(entry_count 0)
        set(entry_usable 0)
        list(APPEND names "${line}")
    endif()
endforeach()
catalog_close_entry()
list(LENGTH names entry_total)
if(entry_total EQUAL 0)
    message(FATAL_ERROR "${CATALOG}: no entries")
endif()

# --- The aliases ---------------------------------------------------------------

catalog_read_lines("${ALIASES}" lines)
set(aliases_table "")
set(alias_names "")
set(line_number 0)
foreach(line IN LISTS lines)
    math(EXPR line_number "${line_number} + 1")
    if(line STREQUAL "" OR line MATCHES "^//")
        continue()
    endif()
    catalog_check_blanks("${ALIASES}" ${line_number} "${line}")
    if(NOT line MATCHES "^([^ ].*[^ ]|[^ ]) => ([^ ].*[^ ]|[^ ])$")
        catalog_fail("${ALIASES}" ${line_number} "expected \"installed name => catalog name\"")
    endif()
    set(installed "${CMAKE_MATCH_1}")
    set(target "${CMAKE_MATCH_2}")
    if(NOT target IN_LIST names)
        catalog_fail("${ALIASES}" ${line_number} "\"${target}\" is not a catalog entry")
    endif()
    if(installed IN_LIST alias_names)
        catalog_fail("${ALIASES}" ${line_number} "\"${installed}\" has two aliases")
    endif()
    list(APPEND alias_names "${installed}")
    catalog_literal("${installed}" installed_literal)
    catalog_literal("${target}" target_literal)
    string(APPEND aliases_table "    {${installed_literal}, ${target_literal}},\n")
endforeach()
if(aliases_table STREQUAL "")
    message(FATAL_ERROR "${ALIASES}: no aliases")
endif()

# --- The executable names ------------------------------------------------------

catalog_read_lines("${EXECUTABLES}" lines)
set(execs_table "")
set(line_number 0)
foreach(line IN LISTS lines)
    math(EXPR line_number "${line_number} + 1")
    if(line STREQUAL "" OR line MATCHES "^//")
        continue()
    endif()
    catalog_check_blanks("${EXECUTABLES}" ${line_number} "${line}")
    if(NOT line IN_LIST names)
        catalog_fail("${EXECUTABLES}" ${line_number} "\"${line}\" is not a catalog entry")
    endif()
    catalog_literal("${line}" literal)
    string(APPEND execs_table "    ${literal},\n")
endforeach()
if(execs_table STREQUAL "")
    message(FATAL_ERROR "${EXECUTABLES}: no executable names")
endif()

# --- The source ----------------------------------------------------------------

file(WRITE "${OUTPUT}.tmp"
"// Generated by GenerateCatalog.cmake from Catalog.txt, Aliases.txt and
// Executables.txt; do not edit.
#include \"catalog/CatalogTables.h\"

namespace quillfen {

namespace {

constexpr std::string_view kPaths[] = {
${paths_table}};

constexpr CatalogTables::Entry kEntries[] = {
${entries_table}};

constexpr CatalogTables::Alias kAliases[] = {
${aliases_table}};

constexpr std::string_view kExecNames[] = {
${execs_table}};

}  // namespace

std::span<const CatalogTables::Entry> CatalogTables::entries() { return kEntries; }
std::span<const std::string_view> CatalogTables::paths() { return kPaths; }
std::span<const CatalogTables::Alias> CatalogTables::aliases() { return kAliases; }
std::span<const std::string_view> CatalogTables::execNames() { return kExecNames; }

}  // namespace quillfen
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
