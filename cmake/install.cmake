# Installation of the two programs, the simulator, the menu entry, the icon and the sample files, and
# the two Debian packages CPack builds from one build (cpack -G DEB in the build folder; see
# scripts/make_deb.sh): ruvo-bridged (the daemon, the simulator, the samples with the service unit,
# the documentation) and ruvo-bridge (the desktop program, its menu entry and icon), which depends
# on the first for the shared files.
include(GNUInstallDirs)

set(RUVO_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/ruvo-bridge)
# The samples are the program's data, not documentation: slim systems drop share/doc when installing.
set(RUVO_DATA_DIR ${CMAKE_INSTALL_DATAROOTDIR}/ruvo-bridge)

install(TARGETS ruvo_bridged ruvo_sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT daemon)
install(FILES ${CMAKE_SOURCE_DIR}/samples/ruvo_bridge.cfg ${CMAKE_SOURCE_DIR}/samples/devices.cfg
              ${CMAKE_SOURCE_DIR}/packaging/ruvo-bridge.service
        DESTINATION ${RUVO_DATA_DIR}/examples COMPONENT daemon)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${RUVO_DOC_DIR} COMPONENT daemon)
install(FILES ${CMAKE_SOURCE_DIR}/tools/ruvo_sim/README.md
        DESTINATION ${RUVO_DOC_DIR} RENAME README.ruvo_sim.md COMPONENT daemon)

install(TARGETS ruvo_bridge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT desktop)
install(FILES ${CMAKE_SOURCE_DIR}/resources/ruvo_bridge.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT desktop)
# The menu finds the icon by name in the theme; the original with all its sizes goes beside the program's data.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/ruvo_bridge.png
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/64x64/apps COMPONENT desktop)
install(FILES ${CMAKE_SOURCE_DIR}/resources/ruvo_sigil.ico DESTINATION ${RUVO_DATA_DIR} COMPONENT desktop)

# Debian's names of the Qt libraries the programs load, for the Qt major version built with.
if(RUVO_QT_MAJOR EQUAL 6)
  set(RUVO_QT_MIN 6.4)
  set(RUVO_QT_PACKAGE_SUFFIX "6")
else()
  set(RUVO_QT_MIN 5.15)
  set(RUVO_QT_PACKAGE_SUFFIX "5")
endif()
function(ruvo_qt_packages out)
  set(names)
  foreach(module ${ARGN})
    set(suffix ${RUVO_QT_PACKAGE_SUFFIX})
    # Qt 5's core library package carries the "a" of a past ABI change in its name.
    if(module STREQUAL core AND RUVO_QT_MAJOR EQUAL 5)
      set(suffix 5a)
    endif()
    list(APPEND names "libqt${RUVO_QT_MAJOR}${module}${suffix} (>= ${RUVO_QT_MIN})")
  endforeach()
  list(JOIN names ", " joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()
ruvo_qt_packages(RUVO_QT_DAEMON_DEPENDS core network websockets)
ruvo_qt_packages(RUVO_QT_DESKTOP_DEPENDS gui widgets)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL daemon desktop)
set(CPACK_PACKAGE_NAME ruvo-bridge)
set(CPACK_PACKAGE_VENDOR "ruvo_bridge developers")
set(CPACK_PACKAGE_CONTACT "ruvo_bridge developers <ruvo-bridge@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "TCP access to devices behind LoRa modems through the RUVO-LoRa server")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ruvo-bridge)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_DAEMON_PACKAGE_NAME ruvo-bridged)
# Below the summary both packages share.
string(CONCAT CPACK_DEBIAN_DAEMON_DESCRIPTION
    "ruvo_bridged logs in to the RUVO-LoRa network server over WebSocket and, for every LoRa modem it is told "
    "to serve, listens on a TCP port: what a client sends goes to the device behind the modem (Modbus RTU "
    "and the like over RS-232/RS-485) and the device's answer comes back to the client. It runs without a "
    "display, under systemd (a sample unit is included).\n"
    "The package also holds ruvo_sim, a simulated RUVO-LoRa server with virtual modems for trying the "
    "program without one.")
set(CPACK_DEBIAN_DAEMON_PACKAGE_DEPENDS
    "libc6, libstdc++6, ${RUVO_QT_DAEMON_DEPENDS}, libsystemd0, libssl3, libprometheus-cpp-core1.0")

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME ruvo-bridge)
string(CONCAT CPACK_DEBIAN_DESKTOP_DESCRIPTION
    "ruvo_bridge is the bridge of the ruvo-bridged package with a window: the link state, the modems "
    "served and their clients, and dialogs to edit the list of modems.")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS
    "ruvo-bridged (= ${PROJECT_VERSION}), ${RUVO_QT_DAEMON_DEPENDS}, ${RUVO_QT_DESKTOP_DEPENDS}")
include(CPack)
