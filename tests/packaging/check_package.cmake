# Builds the Debian packages of a build tree and checks them: their metadata
# and contents (dpkg-deb -f, -c, -I), that the panel's package holds and
# needs nothing of the INDI driver's or the Alpaca server's (each in a package
# of its own where it is built), then a real install and removal with dpkg
# into a scratch root of its own, which leaves the host's package database,
# log and file system alone.
#
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DQT_MAJOR=5|6 -DWITH_CLI=ON|OFF -DWITH_INDI=ON|OFF
#         -DWITH_ALPACA=ON|OFF -P check_package.cmake

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
            message(SEND_ERROR "${what} has \"${item}\", which it must not:\n${text}")
        endif()
    endforeach()
endfunction()

# The one package whose file name starts with `stem`_ (none when `wanted` is
# off), in `result`.
function(find_package_file stem wanted result)
    file(GLOB found "${WORK_DIR}/${stem}_*.deb")
    list(LENGTH found count)
    if(wanted AND NOT count EQUAL 1)
        message(FATAL_ERROR "expected one ${stem}_*.deb in ${WORK_DIR}, found: ${found}")
    elseif(NOT wanted AND NOT count EQUAL 0)
        message(FATAL_ERROR "expected no ${stem}_*.deb in ${WORK_DIR}, found: ${found}")
    endif()
    set(${result} "${found}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
run(cpack --config "${BUILD_DIR}/CPackConfig.cmake" -G DEB -B "${WORK_DIR}")
find_package_file(lensdesk ON panel)
find_package_file(lensdesk-indi ${WITH_INDI} indi)
find_package_file(lensdesk-alpaca ${WITH_ALPACA} alpaca)

# The panel's package. Its dependencies come from the binaries
# (dpkg-shlibdeps), plus the font the layouts are set in; libindi, the INDI
# server and the Alpaca server's library are not among them.
run(dpkg-deb -f ${panel} Package Version Architecture Depends)
expect_in("${out}" "panel package fields" "Package: lensdesk" "Version: 1.4.6" "Architecture: amd64"
          "libqt${QT_MAJOR}widgets" "libqt${QT_MAJOR}network" "libcurl4" "libc6" "fonts-liberation")
expect_not_in("${out}" "panel package fields" "alpaca" "httplib" "libindi" "indi-bin")

set(panel_files
    ./usr/bin/lensdesk
    ./usr/bin/lensdesk-sim
    ./usr/share/man/man1/lensdesk-sim.1
    ./usr/share/applications/example.orvo.LensDesk.desktop
    ./usr/share/metainfo/example.orvo.LensDesk.metainfo.xml)
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND panel_files ./usr/share/icons/hicolor/${size}x${size}/apps/example.orvo.LensDesk.png)
endforeach()
if(WITH_CLI)
    list(APPEND panel_files ./usr/bin/lensdesk-cli ./usr/share/man/man1/lensdesk-cli.1
         ./usr/share/bash-completion/completions/lensdesk-cli)
endif()
run(dpkg-deb -c ${panel})
expect_in("${out}" "panel package contents" ${panel_files})
expect_not_in("${out}" "panel package contents" "alpaca" "indi_lensdesk_focus" "systemd" "./etc/")

# The INDI driver's package: the driver, its manual page and its entry for
# the clients' driver lists; libindi and the INDI server are its
# dependencies, never the panel's.
set(indi_files ./usr/bin/indi_lensdesk_focus ./usr/share/indi/indi_lensdesk_focus.xml
               ./usr/share/man/man1/indi_lensdesk_focus.1)
if(WITH_INDI)
    run(dpkg-deb -f ${indi} Package Version Architecture Depends)
    expect_in("${out}" "INDI package fields" "Package: lensdesk-indi" "Version: 1.4.6" "Architecture: amd64"
              "libindidriver1" "indi-bin" "libqt${QT_MAJOR}core")
    string(REGEX MATCH "Depends:[^\n]*" depends "${out}")
    expect_not_in("${depends}" "INDI package dependencies" "libqt${QT_MAJOR}widgets" "libqt${QT_MAJOR}gui")
    run(dpkg-deb -c ${indi})
    expect_in("${out}" "INDI package contents" ${indi_files})
endif()

# The Alpaca server's package: the program, its manual page, the service
# unit and its configuration, a conffile. It links Qt's core and network
# libraries and cpp-httplib, and needs neither widgets nor the panel.
set(alpaca_files
    ./usr/bin/lensdesk-alpaca
    ./usr/share/man/man1/lensdesk-alpaca.1
    ./usr/lib/systemd/system/lensdesk-alpaca.service
    ./etc/lensdesk-alpaca.conf)
if(WITH_ALPACA)
    run(dpkg-deb -f ${alpaca} Package Version Architecture Depends)
    expect_in("${out}" "Alpaca package fields" "Package: lensdesk-alpaca" "Version: 1.4.6" "Architecture: amd64"
              "libqt${QT_MAJOR}core" "libqt${QT_MAJOR}network" "libcpp-httplib" "libc6")
    string(REGEX MATCH "Depends:[^\n]*" depends "${out}")
    expect_not_in("${depends}" "Alpaca package dependencies" "libqt${QT_MAJOR}widgets" "libqt${QT_MAJOR}gui"
                  "fonts-liberation" "lensdesk")
    run(dpkg-deb -c ${alpaca})
    expect_in("${out}" "Alpaca package contents" ${alpaca_files})
    expect_not_in("${out}" "Alpaca package contents" "./usr/bin/lensdesk " "lensdesk-sim" "lensdesk-cli" "icons")
    run(dpkg-deb -I ${alpaca} conffiles)
    expect_in("${out}" "Alpaca package conffiles" "/etc/lensdesk-alpaca.conf")
endif()

# A real install and removal, as far as it can be had without touching the
# host: dpkg with a root, database and log of its own. Dependencies are not
# in that empty database, hence --force-depends; the packages have no
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

function(expect_installed installed)
    foreach(file IN LISTS ARGN)
        if(installed AND NOT EXISTS "${root}/${file}")
            message(SEND_ERROR "not installed: ${file}")
        elseif(NOT installed AND EXISTS "${root}/${file}")
            message(SEND_ERROR "left behind after removal: ${file}")
        endif()
    endforeach()
endfunction()

run(${dpkg} --force-depends --install ${panel} ${indi} ${alpaca})
expect_installed(ON ${panel_files})
run(${dpkg} --status lensdesk)
expect_in("${out}" "panel package status" "Status: install ok installed")
# The installed (stripped) programs run on this host's libraries.
run("${root}/usr/bin/lensdesk-sim" --help)
expect_in("${out}" "lensdesk-sim --help" "--address")

if(WITH_INDI)
    expect_installed(ON ${indi_files})
    run(${dpkg} --status lensdesk-indi)
    expect_in("${out}" "INDI package status" "Status: install ok installed")
    # KStars lists the driver from this entry: the focuser group, the
    # program's name.
    file(READ "${root}/usr/share/indi/indi_lensdesk_focus.xml" entry)
    expect_in("${entry}" "the driver's entry" "<devGroup group=\"Focusers\">" ">indi_lensdesk_focus</driver>")
    run(${dpkg} --remove lensdesk-indi)
    expect_installed(OFF ${indi_files})
    expect_installed(ON ${panel_files})
endif()

if(WITH_ALPACA)
    expect_installed(ON ${alpaca_files})
    run("${root}/usr/bin/lensdesk-alpaca" --help)
    expect_in("${out}" "lensdesk-alpaca --help" "--controller" "--config")
    # The service runs the installed program on the installed configuration.
    file(READ "${root}/usr/lib/systemd/system/lensdesk-alpaca.service" unit)
    expect_in("${unit}" "lensdesk-alpaca.service"
              "ExecStart=/usr/bin/lensdesk-alpaca --config /etc/lensdesk-alpaca.conf")
    # Removed, the administrator's configuration stays; purged, it goes.
    run(${dpkg} --remove lensdesk-alpaca)
    list(FILTER alpaca_files EXCLUDE REGEX "^./etc/")
    expect_installed(OFF ${alpaca_files})
    expect_installed(ON ./etc/lensdesk-alpaca.conf)
    run(${dpkg} --purge lensdesk-alpaca)
    expect_installed(OFF ./etc/lensdesk-alpaca.conf)
    # The panel is not touched by any of it.
    expect_installed(ON ${panel_files})
endif()

run(${dpkg} --remove lensdesk)
expect_installed(OFF ${panel_files})
