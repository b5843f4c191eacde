# Builds the Debian packages of a build tree and checks them: their metadata
# and contents (dpkg-deb -f, -c), then a real install and removal with dpkg
# into a scratch root of its own, which leaves the host's package database,
# log and file system alone. With the INDI driver built, it is in a package
# of its own, lensdesk-indi, and the panel's package neither holds it nor
# depends on libindi.
#
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DQT_MAJOR=5|6 -DWITH_CLI=ON|OFF -DWITH_INDI=ON|OFF -P check_package.cmake

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

function(expect_not_in text what)
    foreach(item IN LISTS ARGN)
        string(FIND "${text}" "${item}" at)
        if(NOT at EQUAL -1)
            message(SEND_ERROR "${what} holds \"${item}\":\n${text}")
        endif()
    endforeach()
endfunction()

# The one package NAME_*.deb of the work folder, in the variable VARIABLE.
function(find_package_file name variable)
    file(GLOB found "${WORK_DIR}/${name}_*.deb")
    list(LENGTH found count)
    if(NOT count EQUAL 1)
        message(FATAL_ERROR "expected one ${name}_*.deb in ${WORK_DIR}, found: ${found}")
    endif()
    set(${variable} ${found} PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
run(cpack --config "${BUILD_DIR}/CPackConfig.cmake" -G DEB -B "${WORK_DIR}")
find_package_file(lensdesk panel_deb)
set(packages ${panel_deb})

# Metadata: the dependencies come from the binaries (dpkg-shlibdeps), plus
# the font the layouts are set in.
run(dpkg-deb -f ${panel_deb} Package Version Architecture Depends)
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
set(indi_program ./usr/bin/indi_lensdesk_focus)
run(dpkg-deb -c ${panel_deb})
expect_in("${out}" "package contents" ${files})
expect_not_in("${out}" "the panel's package" ${indi_program})

# The INDI driver's package: the driver, its man page and its entry for the
# clients' driver lists; libindi and the INDI server are its dependencies,
# never the panel's.
if(WITH_INDI)
    find_package_file(lensdesk-indi indi_deb)
    run(dpkg-deb -f ${panel_deb} Depends)
    expect_not_in("${out}" "the panel's dependencies" libindi indi-bin)
    run(dpkg-deb -f ${indi_deb} Package Version Architecture Depends)
    expect_in("${out}" "INDI package fields" "Package: lensdesk-indi" "Version: 1.4.6" "Architecture: amd64"
              "libindidriver1" "indi-bin" "libqt${QT_MAJOR}core")
    expect_not_in("${out}" "the INDI package's dependencies" "libqt${QT_MAJOR}widgets" "libqt${QT_MAJOR}gui")
    set(indi_files ${indi_program} ./usr/share/indi/indi_lensdesk_focus.xml
                   ./usr/share/man/man1/indi_lensdesk_focus.1)
    run(dpkg-deb -c ${indi_deb})
    expect_in("${out}" "INDI package contents" ${indi_files})
    list(APPEND packages ${indi_deb})
    list(APPEND files ${indi_files})
endif()

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
set(installed lensdesk)
if(WITH_INDI)
    run(${dpkg} --status lensdesk-indi)
    expect_in("${out}" "INDI package status" "Status: install ok installed")
    # KStars lists the driver from this entry: the focuser group, the
    # program's name.
    file(READ "${root}/usr/share/indi/indi_lensdesk_focus.xml" entry)
    expect_in("${entry}" "the driver's entry" "<devGroup group=\"Focusers\">" ">indi_lensdesk_focus</driver>")
    list(APPEND installed lensdesk-indi)
endif()

run(${dpkg} --remove ${installed})
foreach(file IN LISTS files)
    if(EXISTS "${root}/${file}")
        message(SEND_ERROR "left behind after removal: ${file}")
    endif()
endforeach()
