# Runs one test program and fails if it touched the user's own settings.
#
#   cmake -DPROGRAM=<test executable> -P SettingsGuard.cmake
#
# CTest gives every test a home of its own (HOME, XDG_CONFIG_HOME). Before
# the program starts, a settings store like an operator's is written where
# the panel's store would be without the toolkit's test mode: under
# XDG_CONFIG_HOME and under HOME/.config. A test program that wrote there
# would rewrite a developer's real settings when started by hand; after the
# run both files must be byte for byte what was written.
cmake_minimum_required(VERSION 3.16)

if(NOT PROGRAM)
    message(FATAL_ERROR "SettingsGuard.cmake: PROGRAM not given")
endif()
foreach(variable HOME XDG_CONFIG_HOME)
    if("$ENV{${variable}}" STREQUAL "")
        message(FATAL_ERROR "SettingsGuard.cmake: ${variable} is not set; run the test through CTest")
    endif()
endforeach()

set(seed [=[[General]
LAST_CKX_IP=192.168.40.17
LAST_FW_FILE=/home/operator/firmware/kx-1.9.2.orvoc
LAST_ZOOM_SW=true

[Profiles]
interview=35,400,5.6
studio%20wide=18,575,3.5
]=])

set(stores "$ENV{XDG_CONFIG_HOME}/ORVO/KXController.conf" "$ENV{HOME}/.config/ORVO/KXController.conf")
foreach(store IN LISTS stores)
    file(WRITE "${store}" "${seed}")
endforeach()
string(SHA256 expected "${seed}")

execute_process(COMMAND "${PROGRAM}" RESULT_VARIABLE status)

set(touched "")
foreach(store IN LISTS stores)
    if(NOT EXISTS "${store}")
        list(APPEND touched "${store} (removed)")
    else()
        file(SHA256 "${store}" found)
        if(NOT found STREQUAL expected)
            list(APPEND touched "${store}")
        endif()
    endif()
endforeach()

if(touched)
    message(FATAL_ERROR "The test program changed the user's settings store: ${touched}")
endif()
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ended with status ${status}")
endif()
