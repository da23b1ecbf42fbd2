# The Debian binary package (scripts/package.sh builds and checks it): `cpack -G DEB` in a
# build configured with -DCMAKE_INSTALL_PREFIX=/usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vornbsl)
set(CPACK_PACKAGE_VENDOR "Vornell Devices, Inc")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VornBSL developers <vornbsl@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies from the shared libraries the programs actually link (dpkg-shlibdeps), and
# Qt's platform plugins, which the window loads at run time without linking them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(VORN_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for Vornell data loggers and lab instruments")
# The synopsis line is the summary above; this is the text below it.
set(CPACK_PACKAGE_DESCRIPTION "Loads new firmware into Vornell field data loggers and laboratory instruments
over a serial port or a USB serial adapter. The updater identifies the
instrument, checks that the firmware fits, saves the instrument's settings,
hands it to its resident bootloader, erases and programs flash, restarts it,
checks the new firmware and restores the settings, keeping a diagnostic log of
everything said on the wire. An interrupted update is finished by starting
again with the same firmware file.
.
The package holds the window (vornbsl), the same update for terminals and
scripts (vornbsl-cli) and a simulated instrument for trying them out
(vornsim).")
include(CPack)
