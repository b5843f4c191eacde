# The Debian packages: `cpack -G DEB` in the build tree makes one package per
# install component.
#
#   lensdesk         (component panel) the panel, the simulated controller,
#                    the command-line client where it is built, their man
#                    pages, desktop entry, metadata and icons
#   lensdesk-indi    (component indi, where the driver is built) the INDI
#                    focuser driver, its man page and its driver entry
#   lensdesk-alpaca  (component alpaca, where the server is built) the Alpaca
#                    server, its man page, service unit and configuration
#                    file (a conffile)
#
# The shared-library dependencies are read from each package's binaries by
# dpkg-shlibdeps; only what no binary links is named here: for the panel the
# narrow font the fixed layouts are set in and, on Qt 6, the package that
# carries the platform plugins (Qt 5's are in libqt5gui5, which the binaries
# link); for the driver, the INDI server that runs it. No package needs
# another, and the panel's depends on neither libindi nor cpp-httplib.
set(CPACK_PACKAGE_NAME lensdesk)
set(CPACK_PACKAGE_VENDOR ORVO)
set(CPACK_PACKAGE_CONTACT "ORVO <support@orvo.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.orvo.example/")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL panel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_PANEL_PACKAGE_NAME lensdesk)
set(CPACK_DEBIAN_PANEL_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_PANEL_DESCRIPTION
    "Control panel for an Ethernet lens controller
LensDesk drives a Canon EF or EF-S lens through a small network controller
that takes short ASCII commands over UDP: zoom, focus, aperture, image
stabilisation, stored lens positions, the controller's network settings and
firmware. lensdesk-sim, a simulated controller, lets the panel be tried
without hardware.")
set(CPACK_DEBIAN_PANEL_PACKAGE_DEPENDS fonts-liberation)
if(LENSDESK_QT_MAJOR EQUAL 6)
    string(APPEND CPACK_DEBIAN_PANEL_PACKAGE_DEPENDS ", qt6-qpa-plugins")
endif()

if(TARGET lensdesk-alpaca)
    list(APPEND CPACK_COMPONENTS_ALL alpaca)
    set(CPACK_DEBIAN_ALPACA_PACKAGE_NAME lensdesk-alpaca)
    set(CPACK_DEBIAN_ALPACA_PACKAGE_SECTION science)
    set(CPACK_COMPONENT_ALPACA_DESCRIPTION
        "ASCOM Alpaca server for Ethernet lens controllers
lensdesk-alpaca serves every lens controller it is given or finds on the
local network as an ASCOM Alpaca focuser device over HTTP, for astronomy
programs that speak Alpaca. It runs without a display, by hand or as the
service lensdesk-alpaca.service, which is not enabled when installed.")
    # The configuration is the administrator's: an upgrade keeps their
    # changes and a removal keeps the file (a purge removes it).
    set(alpaca_control ${CMAKE_BINARY_DIR}/packaging/alpaca)
    file(WRITE ${alpaca_control}/conffiles "/etc/lensdesk-alpaca.conf\n")
    set(CPACK_DEBIAN_ALPACA_PACKAGE_CONTROL_EXTRA ${alpaca_control}/conffiles)
endif()

if(TARGET indi_lensdesk_focus)
    list(APPEND CPACK_COMPONENTS_ALL indi)
    set(CPACK_DEBIAN_INDI_PACKAGE_NAME lensdesk-indi)
    set(CPACK_DEBIAN_INDI_PACKAGE_SECTION science)
    set(CPACK_DEBIAN_INDI_PACKAGE_DEPENDS indi-bin)
    set(CPACK_COMPONENT_INDI_DESCRIPTION
        "INDI focuser driver for an Ethernet lens controller
indi_lensdesk_focus lets KStars/Ekos and every other INDI client focus a
Canon EF or EF-S lens through an ORVO Ethernet lens controller, and set the
lens's aperture, zoom and image stabiliser. One driver instance serves one
controller.")
endif()

include(CPack)
