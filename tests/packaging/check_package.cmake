# Builds the Debian package of a build tree and checks it: its metadata and
# contents (dpkg-deb -f, -c), then a real install and removal with dpkg into
# a scratch root of its own, which leaves the host's package database, log
# and file system alone.
#
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DQT_MAJOR=5|6 -DWITH_CLI=ON|OFF -P check_package.cmake

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN} failed (${status}):\n${out}\n${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect_in text what)
    foreach(item IN LISTS ARGN)
        string(FIND "${text}" "${item}" at)
        if(at EQUAL -1)
            message(SEND_ERROR "${what} lacks \"${item}\":\n${text}")
        endif()
    endforeach()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
run(cpack --config "${BUILD_DIR}/CPackConfig.cmake" -G DEB -B "${WORK_DIR}")
file(GLOB packages "${WORK_DIR}/lensdesk_*.deb")
list(LENGTH packages count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one lensdesk_*.deb in ${WORK_DIR}, found: ${packages}")
endif()

# Metadata: the dependencies come from the binaries (dpkg-shlibdeps), plus
# the font the layouts are set in.
run(dpkg-deb -f ${packages} Package Version Architecture Depends)
expect_in("${out}" "package fields" "Package: lensdesk" "Version: 1.4.6" "Architecture: amd64"
          "libqt${QT_MAJOR}widgets" "libqt${QT_MAJOR}network" "libcurl4" "libc6" "fonts-liberation")

set(files
    ./usr/bin/lensdesk
    ./usr/bin/lensdesk-sim
    ./usr/share/man/man1/lensdesk-sim.1
    ./usr/share/applications/example.orvo.LensDesk.desktop
    ./usr/share/metainfo/example.orvo.LensDesk.metainfo.xml)
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND files ./usr/share/icons/hicolor/${size}x${size}/apps/example.orvo.LensDesk.png)
endforeach()
if(WITH_CLI)
    list(APPEND files ./usr/bin/lensdesk-cli ./usr/share/man/man1/lensdesk-cli.1
         ./usr/share/bash-completion/completions/lensdesk-cli)
endif()
run(dpkg-deb -c ${packages})
expect_in("${out}" "package contents" ${files})

# A real install and removal, as far as it can be had without touching the
# host: dpkg with a root, database and log of its own. Dependencies are not
# in that empty database, hence --force-depends; the package has no
# maintainer scripts that would run.
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT uid STREQUAL "0")
    message(STATUS "not root: the scratch-root install is left out")
    return()
endif()
set(root "${WORK_DIR}/root")
file(MAKE_DIRECTORY "${root}/var/lib/dpkg/info" "${root}/var/lib/dpkg/updates" "${root}/var/lib/dpkg/triggers")
file(TOUCH "${root}/var/lib/dpkg/status")
set(dpkg dpkg --root=${root} --log=${WORK_DIR}/dpkg.log)
run(${dpkg} --force-depends --install ${packages})
foreach(file IN LISTS files)
    if(NOT EXISTS "${root}/${file}")
        message(SEND_ERROR "not installed: ${file}")
    endif()
endforeach()
run(${dpkg} --status lensdesk)
expect_in("${out}" "package status" "Status: install ok installed")
# The installed (stripped) programs run on this host's libraries.
run("${root}/usr/bin/lensdesk-sim" --help)
expect_in("${out}" "lensdesk-sim --help" "--address")

run(${dpkg} --remove lensdesk)
foreach(file IN LISTS files)
    if(EXISTS "${root}/${file}")
        message(SEND_ERROR "left behind after removal: ${file}")
    endif()
endforeach()
