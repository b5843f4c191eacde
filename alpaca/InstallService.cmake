# Installs lensdesk-alpaca.service and lensdesk-alpaca.conf; run by
# `cmake --install` and cpack (component alpaca), with CMAKE_INSTALL_PREFIX
# the prefix installed to and LENSDESK_ALPACA_SOURCE_DIR,
# LENSDESK_ALPACA_BINARY_DIR and LENSDESK_BINDIR set by the install rules.
#
# The configuration goes to /etc when the prefix is /usr, as the file-system
# hierarchy wants (the Debian package marks it a conffile), else to
# PREFIX/etc. The unit goes to PREFIX/lib/systemd/system: systemd looks in
# /usr/lib/systemd/system and /usr/local/lib/systemd/system alike.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(sysconfdir /etc)
else()
    set(sysconfdir "${CMAKE_INSTALL_PREFIX}/etc")
endif()
set(LENSDESK_ALPACA_PROGRAM "${CMAKE_INSTALL_PREFIX}/${LENSDESK_BINDIR}/lensdesk-alpaca")
set(LENSDESK_ALPACA_CONFIG "${sysconfdir}/lensdesk-alpaca.conf")
configure_file("${LENSDESK_ALPACA_SOURCE_DIR}/lensdesk-alpaca.service.in"
               "${LENSDESK_ALPACA_BINARY_DIR}/lensdesk-alpaca.service" @ONLY)
file(INSTALL "${LENSDESK_ALPACA_BINARY_DIR}/lensdesk-alpaca.service"
     DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
file(INSTALL "${LENSDESK_ALPACA_SOURCE_DIR}/lensdesk-alpaca.conf" DESTINATION "${sysconfdir}")
