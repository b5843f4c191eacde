# Fails when a C++ source of the tree departs from the house format
# (.clang-format at the source root), or when a data row of a test is broken
# over lines, naming each offender. The format is checked by clang-format 14
# (Debian's clang-format), which changes nothing here; another version lays
# some constructs out differently and is refused. The files are those git
# tracks or, outside a checkout, every .cpp and .h under the source root but
# the build trees.
#
#   cmake -DSOURCE_DIR=<source root> [-DCLANG_FORMAT=<program>] -P check_format.cmake
cmake_minimum_required(VERSION 3.16)

if(NOT SOURCE_DIR)
    message(FATAL_ERROR "check_format.cmake: SOURCE_DIR not given")
endif()
if(NOT CLANG_FORMAT)
    find_program(CLANG_FORMAT NAMES clang-format-14 clang-format)
endif()
if(NOT CLANG_FORMAT)
    message(FATAL_ERROR "clang-format is not installed (scripts/test installs Debian's clang-format)")
endif()
execute_process(COMMAND "${CLANG_FORMAT}" --version OUTPUT_VARIABLE version RESULT_VARIABLE failed)
if(failed OR NOT version MATCHES "version 14\\.")
    message(FATAL_ERROR "${CLANG_FORMAT} is not clang-format 14: ${version}")
endif()

set(sources)
find_program(GIT git)
if(GIT)
    execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" ls-files -- "*.cpp" "*.h"
                    OUTPUT_VARIABLE tracked RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed)
        string(REPLACE "\n" ";" sources "${tracked}")
        list(FILTER sources EXCLUDE REGEX "^$")
    endif()
endif()
if(NOT sources)
    file(GLOB_RECURSE found RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.h")
    # Build trees (build/, build-asan/, ...) hold generated sources.
    list(FILTER found EXCLUDE REGEX "^build[^/]*/")
    set(sources ${found})
endif()
if(NOT sources)
    message(FATAL_ERROR "No C++ source found under ${SOURCE_DIR}")
endif()

execute_process(COMMAND "${CLANG_FORMAT}" --dry-run -Werror ${sources}
                WORKING_DIRECTORY "${SOURCE_DIR}"
                ERROR_VARIABLE report RESULT_VARIABLE unformatted)
set(offences)
if(unformatted)
    string(REGEX MATCHALL "[^\n:]+:[0-9]+:[0-9]+: error" places "${report}")
    foreach(place IN LISTS places)
        string(REGEX REPLACE ":[0-9]+:[0-9]+: error$" "" file "${place}")
        list(APPEND offences "${file}: not in the house format (clang-format -i ${file})")
    endforeach()
    list(REMOVE_DUPLICATES offences)
    if(NOT offences)
        list(APPEND offences "clang-format failed: ${report}")
    endif()
endif()

# A data row reads as one line: a row of QTest::newRow or dataRow() ends on
# the line it starts on.
foreach(file IN LISTS sources)
    if(NOT file MATCHES "^tests/")
        continue()
    endif()
    file(READ "${SOURCE_DIR}/${file}" text)
    string(REGEX MATCHALL "(QTest::newRow\\(|\n[ \t]*dataRow\\()[^;\n]*\n" broken "${text}")
    foreach(row IN LISTS broken)
        string(STRIP "${row}" row)
        list(APPEND offences "${file}: a data row broken over lines: ${row}")
    endforeach()
endforeach()

if(offences)
    list(LENGTH offences count)
    string(REPLACE ";" "\n  " listed "${offences}")
    message(FATAL_ERROR "${count} format offences:\n  ${listed}")
endif()
list(LENGTH sources count)
message(STATUS "${count} sources in the house format")
