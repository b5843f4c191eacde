# The Debian package: `cpack -G DEB` in the build tree. It holds whatever the
# install rules name (the panel, the simulated controller, the command-line
# client where it is built, their man pages, desktop entry, metadata and
# icons). The shared-library dependencies are read from the binaries by
# dpkg-shlibdeps; only what no binary links is named here: the narrow font
# the fixed layouts are set in and, on Qt 6, the package that carries the
# platform plugins (Qt 5's are in libqt5gui5, which the binaries link).
set(CPACK_PACKAGE_NAME lensdesk)
set(CPACK_PACKAGE_VENDOR ORVO)
set(CPACK_PACKAGE_CONTACT "ORVO <support@orvo.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control panel for an Ethernet lens controller")
set(CPACK_PACKAGE_DESCRIPTION
    "LensDesk drives a Canon EF or EF-S lens through a small network controller
that takes short ASCII commands over UDP: zoom, focus, aperture, image
stabilisation, stored lens positions, the controller's network settings and
firmware. lensdesk-sim, a simulated controller, lets the panel be tried
without hardware.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.orvo.example/")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation)
if(LENSDESK_QT_MAJOR EQUAL 6)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-qpa-plugins")
endif()

include(CPack)
