# Fails when widget-free code reaches into the panel's folder app/: no file
# compiled into the core library, no file under cli/, sim/, indi/ or alpaca/,
# and no header of this source tree that one of them includes (followed to
# the end) may include anything from app/. The panel's own files (the
# members of LensDesk in the subsystem folders, the dialogs) may.
#
#   cmake -DSOURCE_DIR=<source root> -DCORE_SOURCES=<file naming the core's sources, one a line>
#         -P check_appincludes.cmake
cmake_minimum_required(VERSION 3.16)

foreach(variable SOURCE_DIR CORE_SOURCES)
    if(NOT ${variable})
        message(FATAL_ERROR "check_appincludes.cmake: ${variable} not given")
    endif()
endforeach()

file(STRINGS "${CORE_SOURCES}" pending)
foreach(folder cli sim indi alpaca)
    file(GLOB_RECURSE found "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.h")
    list(APPEND pending ${found})
endforeach()
list(FILTER pending INCLUDE REGEX "\\.(cpp|h)$")
if(NOT pending)
    message(FATAL_ERROR "No file to check: the list of the core's sources (${CORE_SOURCES}) is empty")
endif()

# Every file is read once; `via_<file>` names the file that first included it.
set(checked)
set(offences)
while(pending)
    list(POP_FRONT pending file)
    if(NOT IS_ABSOLUTE "${file}")
        set(file "${SOURCE_DIR}/${file}")
    endif()
    if(file IN_LIST checked)
        continue()
    endif()
    list(APPEND checked "${file}")
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
    get_filename_component(folder "${file}" DIRECTORY)

    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" included "${line}")
        # Our headers are named from the source root ("link/Protocol.h") or,
        # rarely, beside the including file.
        set(target "")
        foreach(base "${SOURCE_DIR}" "${folder}")
            get_filename_component(candidate "${base}/${included}" ABSOLUTE)
            if(EXISTS "${candidate}" AND NOT target)
                set(target "${candidate}")
            endif()
        endforeach()
        if(NOT target)
            continue() # generated or outside the tree
        endif()
        file(RELATIVE_PATH target_name "${SOURCE_DIR}" "${target}")
        if(target_name MATCHES "^app/")
            set(offence "${name} includes ${target_name}")
            if(DEFINED via_${name})
                string(APPEND offence " (${name} is included by ${via_${name}})")
            endif()
            list(APPEND offences "${offence}")
        elseif(NOT target_name MATCHES "^\\.\\./")
            if(NOT DEFINED via_${target_name})
                set(via_${target_name} "${name}")
            endif()
            list(APPEND pending "${target}")
        endif()
    endforeach()
endwhile()

list(LENGTH checked count)
if(offences)
    list(JOIN offences "\n  " text)
    message(FATAL_ERROR "Widget-free code includes the panel's folder app/:\n  ${text}\n"
                        "Move what they need out of app/ (base/, platform/).")
endif()
message(STATUS "${count} files of the core, the client, the simulator and the drivers include nothing from app/")
