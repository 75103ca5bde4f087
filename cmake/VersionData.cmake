# Version data built into an executable.
#
# Linux executables have no version resource, so the data lives in the ELF
# section "dormix_version" of the executable itself, in the layout described in
# src/platform/version/VersionData.h. The data is compiled from a generated
# source into a variable marked used and retain, so neither the compiler nor
# the linker's --gc-sections drops it; the section is allocated, so strip keeps
# it as well.
#
#   dormix_add_version_data(<target> BLOCK <name> [NO_TRANSLATION]
#                           [LANGUAGE <lang>... CODEPAGE <codepage>...]
#                           STRINGS <key> <value> [<key> <value>...])
#
# BLOCK names the string block ("\StringFileInfo\<name>\<key>"). The translation
# table ("\VarFileInfo\Translation") holds one entry per LANGUAGE/CODEPAGE pair,
# in order; without them the one entry is read from an eight-digit hexadecimal
# BLOCK name (language = first four digits, code page = last four). With
# NO_TRANSLATION the data has no VarFileInfo at all. Values may be empty.
#
#   dormix_add_program_version_data(<target>)
#
# adds the Dormix program's own version data.

include_guard(GLOBAL)

function(_dormix_c_string out text)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    string(REPLACE "\r" "\\r" text "${text}")
    string(REPLACE "\t" "\\t" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

function(_dormix_word out text what)
    if(NOT text MATCHES "^(0[xX][0-9a-fA-F]+|[0-9]+)$")
        message(FATAL_ERROR "dormix_add_version_data: ${what} '${text}' is not a number")
    endif()
    math(EXPR value "${text}")
    if(value LESS 0 OR value GREATER 65535)
        message(FATAL_ERROR "dormix_add_version_data: ${what} '${text}' is not a 16-bit word")
    endif()
    math(EXPR value "${value}" OUTPUT_FORMAT HEXADECIMAL)
    set(${out} ${value} PARENT_SCOPE)
endfunction()

function(dormix_add_version_data target)
    cmake_parse_arguments(PARSE_ARGV 1 VD "NO_TRANSLATION" "BLOCK" "LANGUAGE;CODEPAGE;STRINGS")
    if(VD_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "dormix_add_version_data: unexpected arguments ${VD_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT TARGET ${target})
        message(FATAL_ERROR "dormix_add_version_data: no target ${target}")
    endif()
    get_target_property(already ${target} DORMIX_VERSION_DATA)
    if(already)
        message(FATAL_ERROR "dormix_add_version_data: ${target} already has version data")
    endif()
    if(NOT DEFINED VD_BLOCK OR VD_BLOCK STREQUAL "" OR VD_BLOCK MATCHES "[\\\\\"]")
        message(FATAL_ERROR "dormix_add_version_data: BLOCK needs a name without backslashes")
    endif()

    # Translation entries.
    set(entries "")
    if(NOT VD_NO_TRANSLATION)
        if(NOT DEFINED VD_LANGUAGE AND NOT DEFINED VD_CODEPAGE)
            if(NOT VD_BLOCK MATCHES "^[0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F]$")
                message(FATAL_ERROR "dormix_add_version_data: give LANGUAGE and CODEPAGE, "
                                    "NO_TRANSLATION, or an eight-digit hexadecimal BLOCK")
            endif()
            string(SUBSTRING "${VD_BLOCK}" 0 4 lang)
            string(SUBSTRING "${VD_BLOCK}" 4 4 cp)
            set(VD_LANGUAGE "0x${lang}")
            set(VD_CODEPAGE "0x${cp}")
        endif()
        list(LENGTH VD_LANGUAGE nlang)
        list(LENGTH VD_CODEPAGE ncp)
        if(NOT nlang EQUAL ncp)
            message(FATAL_ERROR "dormix_add_version_data: LANGUAGE and CODEPAGE need the same count")
        endif()
        math(EXPR last "${nlang} - 1")
        foreach(i RANGE ${last})
            list(GET VD_LANGUAGE ${i} l)
            list(GET VD_CODEPAGE ${i} c)
            _dormix_word(l "${l}" LANGUAGE)
            _dormix_word(c "${c}" CODEPAGE)
            string(APPEND entries "    {${l}, ${c}},\n")
        endforeach()
    elseif(DEFINED VD_LANGUAGE OR DEFINED VD_CODEPAGE)
        message(FATAL_ERROR "dormix_add_version_data: NO_TRANSLATION with LANGUAGE/CODEPAGE")
    endif()

    # Strings: key/value pairs, empty values kept.
    list(LENGTH VD_STRINGS nstrings)
    math(EXPR odd "${nstrings} % 2")
    if(odd)
        message(FATAL_ERROR "dormix_add_version_data: STRINGS needs key/value pairs")
    endif()
    set(strings "")
    set(i 0)
    while(i LESS nstrings)
        math(EXPR j "${i} + 1")
        list(GET VD_STRINGS ${i} key)
        list(GET VD_STRINGS ${j} value)
        if(key STREQUAL "" OR key MATCHES "[\\\\\"]")
            message(FATAL_ERROR "dormix_add_version_data: bad key '${key}'")
        endif()
        _dormix_c_string(key "${key}")
        _dormix_c_string(value "${value}")
        string(APPEND strings "    {${key}, ${value}},\n")
        math(EXPR i "${i} + 2")
    endwhile()

    _dormix_c_string(block "${VD_BLOCK}")
    if(entries STREQUAL "")
        set(trDecl "")
        set(trRef "nullptr, 0")
    else()
        set(trDecl "constexpr dormix::VersionTranslation kTranslations[] = {\n${entries}};\n")
        set(trRef "kTranslations, std::size(kTranslations)")
    endif()
    if(strings STREQUAL "")
        set(strDecl "")
        set(strRef "nullptr, 0")
    else()
        set(strDecl "constexpr dormix::VersionString kStrings[] = {\n${strings}};\n")
        set(strRef "kStrings, std::size(kStrings)")
    endif()

    set(content "// Version data of ${target}, generated by dormix_add_version_data. Do not edit.
#include \"VersionData.h\"

#include <iterator>

namespace {
${trDecl}${strDecl}constexpr dormix::VersionContents kSpec{${block}, ${trRef}, ${strRef}};
constexpr std::size_t kSize = dormix::WriteVersionData(kSpec, nullptr);

// used: emitted though nothing refers to it; retain: kept by --gc-sections.
__attribute__((used, retain, section(DORMIX_VERSION_SECTION)))
const std::array<unsigned char, kSize> kVersionData = dormix::VersionDataArray<kSize>(kSpec);
} // namespace
")
    set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_version_data.cpp")
    # Rewritten only when the text changes, so a re-configure rebuilds nothing.
    file(WRITE "${out}.tmp" "${content}")
    configure_file("${out}.tmp" "${out}" COPYONLY)
    target_sources(${target} PRIVATE "${out}")
    target_link_libraries(${target} PRIVATE dormix_version_format)
    set_target_properties(${target} PROPERTIES DORMIX_VERSION_DATA ON)
endfunction()

function(dormix_add_program_version_data target)
    dormix_add_version_data(${target}
        BLOCK 0C0904E4
        LANGUAGE 0x0C09 CODEPAGE 0x04E4
        STRINGS
            CompanyName "Tarnby Software"
            FileDescription "The Alarm Scheduler"
            FileVersion "1.1.0.0"
            InternalName ""
            LegalCopyright "Copyright (C) 2026 Tarnby Software. All rights reserved."
            LegalTrademarks ""
            OriginalFilename ""
            ProductName "Dormix"
            ProductVersion "1.0.0.0"
            Comments ""
    )
endfunction()
