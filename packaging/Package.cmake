# The Debian packages: `cpack -G DEB` in the build tree makes one per install
# component. "lensdesk" holds whatever the install rules name without a
# component (the panel, the simulated controller, the command-line client
# where it is built, their man pages, desktop entry, metadata and icons);
# "lensdesk-indi" the INDI focuser driver, where it is built, so that the
# panel's package does not depend on libindi. The shared-library dependencies
# are read from the binaries by dpkg-shlibdeps; only what no binary links is
# named here: the narrow font the fixed layouts are set in and, on Qt 6, the
# package that carries the platform plugins (Qt 5's are in libqt5gui5, which
# the binaries link); for the driver, the INDI server that runs it.
set(CPACK_PACKAGE_NAME lensdesk)
set(CPACK_PACKAGE_VENDOR ORVO)
set(CPACK_PACKAGE_CONTACT "ORVO <support@orvo.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.orvo.example/")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Each package's description: its summary line, then the text.
set(CPACK_DEBIAN_LENSDESK_PACKAGE_NAME lensdesk)
set(CPACK_DEBIAN_LENSDESK_DESCRIPTION
    "Control panel for an Ethernet lens controller
LensDesk drives a Canon EF or EF-S lens through a small network controller
that takes short ASCII commands over UDP: zoom, focus, aperture, image
stabilisation, stored lens positions, the controller's network settings and
firmware. lensdesk-sim, a simulated controller, lets the panel be tried
without hardware.")
set(CPACK_DEBIAN_LENSDESK_PACKAGE_DEPENDS fonts-liberation)
if(LENSDESK_QT_MAJOR EQUAL 6)
    string(APPEND CPACK_DEBIAN_LENSDESK_PACKAGE_DEPENDS ", qt6-qpa-plugins")
endif()

set(CPACK_DEBIAN_INDI_PACKAGE_NAME lensdesk-indi)
set(CPACK_DEBIAN_INDI_PACKAGE_SECTION science)
set(CPACK_DEBIAN_INDI_PACKAGE_DEPENDS indi-bin)
set(CPACK_DEBIAN_INDI_DESCRIPTION
    "INDI focuser driver for an Ethernet lens controller
indi_lensdesk_focus lets KStars/Ekos and every other INDI client focus a
Canon EF or EF-S lens through an ORVO Ethernet lens controller, and set the
lens's aperture, zoom and image stabiliser. One driver instance serves one
controller.")

include(CPack)
