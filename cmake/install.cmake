# Installation of the program, the simulator, the menu entry, the icon and the sample files, and the
# Debian package built from them by CPack (cpack -G DEB in the build folder; see scripts/make_deb.sh).
include(GNUInstallDirs)

set(RUVO_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/ruvo-bridge)
# The samples are the program's data, not documentation: slim systems drop share/doc when installing.
set(RUVO_DATA_DIR ${CMAKE_INSTALL_DATAROOTDIR}/ruvo-bridge)

install(TARGETS ruvo_bridge ruvo_sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/ruvo_bridge.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
# The menu finds the icon by name in the theme; the original with all its sizes goes beside the program's data.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/ruvo_bridge.png
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/64x64/apps)
install(FILES ${CMAKE_SOURCE_DIR}/resources/ruvo_sigil.ico
        DESTINATION ${RUVO_DATA_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/samples/ruvo_bridge.cfg ${CMAKE_SOURCE_DIR}/samples/devices.cfg
              ${CMAKE_SOURCE_DIR}/packaging/ruvo-bridge.service
        DESTINATION ${RUVO_DATA_DIR}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${RUVO_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/tools/ruvo_sim/README.md
        DESTINATION ${RUVO_DOC_DIR} RENAME README.ruvo_sim.md)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ruvo-bridge)
set(CPACK_PACKAGE_VENDOR "ruvo_bridge developers")
set(CPACK_PACKAGE_CONTACT "ruvo_bridge developers <ruvo-bridge@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "TCP access to devices behind LoRa modems through the RUVO-LoRa server")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "ruvo_bridge logs in to the RUVO-LoRa network server over WebSocket and, for every LoRa modem it is told "
    "to serve, listens on a TCP port: what a client sends goes to the device behind the modem (Modbus RTU "
    "and the like over RS-232/RS-485) and the device's answer comes back to the client.\n"
    "The package also holds ruvo_sim, a simulated RUVO-LoRa server with virtual modems for trying the "
    "program without one.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ruvo-bridge)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libqt5core5a (>= 5.11), libqt5gui5 (>= 5.11), libqt5widgets5 (>= 5.11), libqt5network5 (>= 5.11), libqt5websockets5 (>= 5.11), libsystemd0, libssl3")
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libprometheus-cpp-core1.0, libprometheus-cpp-pull1.0")
include(CPack)
