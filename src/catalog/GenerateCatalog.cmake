# Turns the catalog's text files into C++ sources of constant tables:
#   cmake -DCATALOG=Catalog.txt -DALIASES=Aliases.txt -DEXECUTABLES=Executables.txt
#         -DLINUX_DATA=Linux.txt [-DOUTPUT=CatalogTables.cpp]
#         [-DIDENTITIES=CatalogIdentities.cpp] -P GenerateCatalog.cmake
# OUTPUT defines the functions declared in "catalog/CatalogTables.h",
# IDENTITIES the table declared in "local/CatalogIdentities.h" (the IDs under
# which catalog applications are installed on Linux). Every file is read and
# checked whichever source is asked for. Any line that does not follow the
# format stops the build with its file and line number, so a slip in the data
# never reaches the program.
cmake_minimum_required(VERSION 3.25)

foreach(input CATALOG ALIASES EXECUTABLES LINUX_DATA)
    if(NOT DEFINED ${input})
        message(FATAL_ERROR "GenerateCatalog: ${input} is not set")
    endif()
endforeach()
if(NOT DEFINED OUTPUT AND NOT DEFINED IDENTITIES)
    message(FATAL_ERROR "GenerateCatalog: neither OUTPUT nor IDENTITIES is set")
endif()

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

# The entries' ranges are kept, in order, until the Linux data is known.
set(entry_ranges "")
macro(catalog_close_entry)
    if(NOT entry_name STREQUAL "")
        if(entry_usable EQUAL 0)
            catalog_fail("${CATALOG}" ${entry_line} "the entry \"${entry_name}\" has no settings path")
        endif()
        list(APPEND entry_ranges "${entry_first},${entry_count}")
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
set(exec_names "")
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
    list(APPEND exec_names "${line}")
    catalog_literal("${line}" literal)
    string(APPEND execs_table "    ${literal},\n")
endforeach()
if(execs_table STREQUAL "")
    message(FATAL_ERROR "${EXECUTABLES}: no executable names")
endif()

# --- The Linux data --------------------------------------------------------------

# Whether `path` may be a Linux settings path: relative to the home folder,
# without empty, "." or ".." components, and no Mac location.
function(catalog_check_linux_path line_number path)
    if(path MATCHES "^/")
        catalog_fail("${LINUX_DATA}" ${line_number} "\"${path}\" is absolute; paths are relative to the home folder")
    endif()
    if(path MATCHES "^~")
        catalog_fail("${LINUX_DATA}" ${line_number} "\"${path}\" starts with \"~\"; paths are relative to the home folder")
    endif()
    if("/${path}/" MATCHES "/\\.\\.?/" OR path MATCHES "//" OR path MATCHES "/$")
        catalog_fail("${LINUX_DATA}" ${line_number} "\"${path}\" has an empty, \".\" or \"..\" component")
    endif()
    if(path MATCHES "^#")
        catalog_fail("${LINUX_DATA}" ${line_number} "\"${path}\": notes are written as // comments here")
    endif()
    if(path MATCHES "^Library/")
        catalog_fail("${LINUX_DATA}" ${line_number} "\"${path}\" is a Mac location")
    endif()
endfunction()

# Whether `value` is an ID of `kind`: a desktop ID (the file name without
# ".desktop"), a Flatpak application ID (three or more dot-separated
# elements of letters, digits, "_" and "-", none starting with a digit), or
# a snap name (lower-case letters, digits and single inner hyphens, with a
# letter, at most 40 characters).
function(catalog_check_id line_number kind value)
    if(kind STREQUAL "desktop")
        if(value MATCHES "\\.desktop$")
            catalog_fail("${LINUX_DATA}" ${line_number} "write the desktop ID \"${value}\" without \".desktop\"")
        endif()
        if(NOT value MATCHES "^[A-Za-z0-9_][A-Za-z0-9._-]*$")
            catalog_fail("${LINUX_DATA}" ${line_number} "\"${value}\" is not a desktop ID")
        endif()
    elseif(kind STREQUAL "flatpak")
        set(element "[A-Za-z_][A-Za-z0-9_-]*")
        string(LENGTH "${value}" length)
        if(NOT value MATCHES "^${element}\\.${element}(\\.${element})+$" OR length GREATER 255)
            catalog_fail("${LINUX_DATA}" ${line_number} "\"${value}\" is not a Flatpak application ID")
        endif()
    else()
        string(LENGTH "${value}" length)
        if(NOT value MATCHES "^[a-z0-9]+(-[a-z0-9]+)*$" OR NOT value MATCHES "[a-z]"
           OR length GREATER 40)
            catalog_fail("${LINUX_DATA}" ${line_number} "\"${value}\" is not a snap name")
        endif()
    endif()
endfunction()

catalog_read_lines("${LINUX_DATA}" lines)
set(linux_paths_table "")
set(identities_table "")
set(linux_names "")
set(linux_path_index 0)
set(linux_with_paths 0)
set(previous_position -1)
set(seen_desktop "")
set(seen_flatpak "")
set(seen_snap "")
set(linux_name "")
set(line_number 0)

macro(catalog_close_linux_entry)
    if(NOT linux_name STREQUAL "")
        if(NOT linux_checked)
            catalog_fail("${LINUX_DATA}" ${linux_line} "\"${linux_name}\" does not say how its data was checked (a \"check\" line)")
        endif()
        if(linux_count EQUAL 0 AND linux_ids EQUAL 0)
            catalog_fail("${LINUX_DATA}" ${linux_line} "\"${linux_name}\" has neither an ID nor a path")
        endif()
        string(MD5 key "${linux_name}")
        set(linux_range_${key} "${linux_first},${linux_count}")
        if(linux_count GREATER 0)
            math(EXPR linux_with_paths "${linux_with_paths} + 1")
        endif()
    endif()
endmacro()

foreach(line IN LISTS lines)
    math(EXPR line_number "${line_number} + 1")
    if(line STREQUAL "" OR line MATCHES "^//")
        continue()
    endif()
    catalog_check_blanks("${LINUX_DATA}" ${line_number} "${line}")
    if(line MATCHES "^    ([a-z]+) ([^ ].*)$")
        set(kind "${CMAKE_MATCH_1}")
        set(value "${CMAKE_MATCH_2}")
        if(linux_name STREQUAL "")
            catalog_fail("${LINUX_DATA}" ${line_number} "a line before the first entry name")
        endif()
        if(kind STREQUAL "path")
            catalog_check_linux_path(${line_number} "${value}")
            # One path inside another would be copied twice, by two paths of
            # the same application.
            foreach(other IN LISTS linux_entry_paths)
                string(FIND "${value}/" "${other}/" inner)
                string(FIND "${other}/" "${value}/" outer)
                if(inner EQUAL 0 OR outer EQUAL 0)
                    catalog_fail("${LINUX_DATA}" ${line_number} "\"${value}\" overlaps \"${other}\" of the same entry")
                endif()
            endforeach()
            list(APPEND linux_entry_paths "${value}")
            catalog_literal("${value}" literal)
            string(APPEND linux_paths_table "    ${literal},\n")
            math(EXPR linux_path_index "${linux_path_index} + 1")
            math(EXPR linux_count "${linux_count} + 1")
        elseif(kind STREQUAL "desktop" OR kind STREQUAL "flatpak" OR kind STREQUAL "snap")
            catalog_check_id(${line_number} ${kind} "${value}")
            if(value IN_LIST seen_${kind})
                catalog_fail("${LINUX_DATA}" ${line_number} "the ${kind} ID \"${value}\" names two entries")
            endif()
            list(APPEND seen_${kind} "${value}")
            math(EXPR linux_ids "${linux_ids} + 1")
            set(executable false)
            if(linux_name IN_LIST exec_names)
                set(executable true)
            endif()
            catalog_literal("${value}" id_literal)
            catalog_literal("${linux_name}" name_literal)
            string(APPEND identities_table
                   "    {CatalogIdentity::Kind::${kind}, ${id_literal}, ${name_literal}, ${executable}},\n")
        elseif(kind STREQUAL "check")
            set(linux_checked TRUE)
        else()
            catalog_fail("${LINUX_DATA}" ${line_number} "unknown key \"${kind}\" (desktop, flatpak, snap, path or check)")
        endif()
    elseif(line MATCHES "^ ")
        catalog_fail("${LINUX_DATA}" ${line_number} "a line of an entry is indented by four spaces and starts with its key")
    else()
        catalog_close_linux_entry()
        list(FIND names "${line}" position)
        if(position EQUAL -1)
            catalog_fail("${LINUX_DATA}" ${line_number} "\"${line}\" is not a catalog entry")
        endif()
        if(line IN_LIST linux_names)
            catalog_fail("${LINUX_DATA}" ${line_number} "\"${line}\" has Linux data twice")
        endif()
        if(position LESS previous_position)
            catalog_fail("${LINUX_DATA}" ${line_number} "\"${line}\" is out of catalog order")
        endif()
        set(previous_position ${position})
        list(APPEND linux_names "${line}")
        set(linux_name "${line}")
        set(linux_line ${line_number})
        set(linux_first ${linux_path_index})
        set(linux_count 0)
        set(linux_ids 0)
        set(linux_checked FALSE)
        set(linux_entry_paths "")
    endif()
endforeach()
catalog_close_linux_entry()
if(linux_paths_table STREQUAL "")
    message(FATAL_ERROR "${LINUX_DATA}: no Linux paths")
endif()

# The entries, each with the range of its Linux paths (none for most).
set(entries_table "")
set(index 0)
foreach(range IN LISTS entry_ranges)
    list(GET names ${index} name)
    string(MD5 key "${name}")
    set(linux_range "0,0")
    if(DEFINED linux_range_${key})
        set(linux_range "${linux_range_${key}}")
    endif()
    string(REPLACE "," ", " range "${range}")
    string(REPLACE "," ", " linux_range "${linux_range}")
    catalog_literal("${name}" literal)
    string(APPEND entries_table "    {${literal}, ${range}, ${linux_range}},\n")
    math(EXPR index "${index} + 1")
endforeach()

# --- The sources ---------------------------------------------------------------

# Writes `text` to `file` only when it changed, so that a rebuild of the data
# recompiles nothing it does not have to.
function(catalog_write file text)
    file(WRITE "${file}.tmp" "${text}")
    file(COPY_FILE "${file}.tmp" "${file}" ONLY_IF_DIFFERENT)
    file(REMOVE "${file}.tmp")
endfunction()

if(DEFINED OUTPUT)
    catalog_write("${OUTPUT}"
"// Generated by GenerateCatalog.cmake from Catalog.txt, Aliases.txt,
// Executables.txt and Linux.txt; do not edit.
#include \"catalog/CatalogTables.h\"

namespace quillfen {

namespace {

constexpr std::string_view kPaths[] = {
${paths_table}};

constexpr std::string_view kLinuxPaths[] = {
${linux_paths_table}};

constexpr CatalogTables::Entry kEntries[] = {
${entries_table}};

constexpr CatalogTables::Alias kAliases[] = {
${aliases_table}};

constexpr std::string_view kExecNames[] = {
${execs_table}};

}  // namespace

std::span<const CatalogTables::Entry> CatalogTables::entries() { return kEntries; }
std::span<const std::string_view> CatalogTables::paths() { return kPaths; }
std::span<const std::string_view> CatalogTables::linuxPaths() { return kLinuxPaths; }
std::span<const CatalogTables::Alias> CatalogTables::aliases() { return kAliases; }
std::span<const std::string_view> CatalogTables::execNames() { return kExecNames; }

}  // namespace quillfen
")
endif()

if(DEFINED IDENTITIES)
    catalog_write("${IDENTITIES}"
"// Generated by GenerateCatalog.cmake from the catalog's Linux.txt; do not
// edit.
#include \"local/CatalogIdentities.h\"

namespace quillfen {

namespace {

constexpr CatalogIdentity kIdentities[] = {
${identities_table}};

}  // namespace

std::span<const CatalogIdentity> CatalogIdentities::all() { return kIdentities; }

}  // namespace quillfen
")
endif()
