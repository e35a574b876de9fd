# Install rules and the Debian package "tellvane" (cpack -G DEB).
#
#   /usr/bin/tellvane, /usr/bin/tellvane-cli
#   /usr/share/tellvane/Configuration/, /usr/share/tellvane/help/
#   the desktop entry, the icon in the hicolor sizes, a manual page each
#
# The programs look for Configuration/ and help/ beside themselves, then in
# ../share/tellvane (core/ProgramFiles.h): the two destinations below must keep
# that distance, so they are fixed rather than taken from GNUInstallDirs.

set(TELLVANE_INSTALL_BINDIR bin)
set(TELLVANE_INSTALL_FILESDIR share/tellvane)
set(TELLVANE_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS tellvane tellvane-cli RUNTIME DESTINATION ${TELLVANE_INSTALL_BINDIR})
# A stripped install drops the compiler's .comment and .note sections too, as
# dh_strip does; plain strip keeps them.
if(CMAKE_STRIP)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program tellvane tellvane-cli)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TELLVANE_INSTALL_BINDIR}/\${program}\")
      endforeach()
    endif()")
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Configuration ${PROJECT_SOURCE_DIR}/help
        DESTINATION ${TELLVANE_INSTALL_FILESDIR})

install(FILES ${TELLVANE_PACKAGING_DIR}/tellvane.desktop DESTINATION share/applications)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${TELLVANE_PACKAGING_DIR}/icons/hicolor/${size}x${size}/apps/tellvane.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${TELLVANE_PACKAGING_DIR}/icons/tellvane.svg DESTINATION share/icons/hicolor/scalable/apps)

# Manual pages and the changelog carry the version, and go compressed the way
# Debian wants them (gzip -9, no name or time stamp inside).
find_program(TELLVANE_GZIP gzip REQUIRED)
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
set(compressed)
foreach(page tellvane.1 tellvane-cli.1 changelog)
  if(page STREQUAL changelog)
    configure_file(${TELLVANE_PACKAGING_DIR}/changelog.in ${packaging_out}/${page} @ONLY)
  else()
    configure_file(${TELLVANE_PACKAGING_DIR}/${page} ${packaging_out}/${page} @ONLY)
  endif()
  add_custom_command(OUTPUT ${packaging_out}/${page}.gz
    COMMAND ${TELLVANE_GZIP} -9 -n -c ${packaging_out}/${page} > ${packaging_out}/${page}.gz
    DEPENDS ${packaging_out}/${page}
    COMMENT "Compressing ${page}")
  list(APPEND compressed ${packaging_out}/${page}.gz)
endforeach()
add_custom_target(tellvane_packaging_files ALL DEPENDS ${compressed})
install(FILES ${packaging_out}/tellvane.1.gz ${packaging_out}/tellvane-cli.1.gz DESTINATION share/man/man1)
install(FILES ${packaging_out}/changelog.gz ${TELLVANE_PACKAGING_DIR}/copyright DESTINATION share/doc/tellvane)
install(FILES ${TELLVANE_PACKAGING_DIR}/lintian-overrides DESTINATION share/lintian/overrides RENAME tellvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tellvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Velmarco)
set(CPACK_PACKAGE_CONTACT "Tellvane developers <tellvane@velmarco.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "service tool for CAN bus control boards\n"
    "Tellvane shows every Velmarco control board on a CAN bus (250 kbit/s,\n"
    "29-bit J1939-style identifiers) through a USB-to-CAN adapter or any of\n"
    "Qt's CAN bus plugins, such as SocketCAN. It opens a window for each\n"
    "board with its live data, monitors and records the raw traffic, plays\n"
    "recordings back and downloads firmware.\n"
    "\n"
    "tellvane-cli checks configuration files, runs a simulated bench of\n"
    "boards, monitors a bus, converts logs and flashes firmware without\n"
    "windows.")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
# The libraries come from dpkg-shlibdeps; what is loaded at run time without
# being linked is named here: the display's platform plugin and the font the
# windows are laid out in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
