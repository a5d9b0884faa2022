# Installation in the usual layout (cmake --install, make install PREFIX=..., the Debian package):
#   bin/                      vestra, vestra-sql, vestra-emu
#   share/vestra/             the help file vestra.qch and the report fragments (Report/): read-only files
#   share/applications/       the desktop entry
#   share/metainfo/           the AppStream metainfo
#   share/icons/hicolor/      the program's icon (scalable)
#   share/man/man1/           the manual pages
# Installed, the program finds share/vestra beside its bin folder and keeps the user's folders (SQL, HIST, DAT) in
# the user's data folder (app/ProgramFolder.h).
include(GNUInstallDirs)

set(VESTRA_APP_ID de.tessaron.Vestra)
set(desktop_dir ${CMAKE_SOURCE_DIR}/app/desktop)

foreach(program vestra vestra-sql vestra-emu)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Manual pages go in compressed, as Debian keeps them (gzip -n: no name or time stamp, so the build repeats).
set(man_pages vestra-sql vestra-emu)
if(VESTRA_GUI)
  list(APPEND man_pages vestra)
endif()
set(man_outputs)
foreach(page ${man_pages})
  set(gz ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                     COMMAND gzip -n -9 -c ${desktop_dir}/${page}.1 > ${gz}
                     DEPENDS ${desktop_dir}/${page}.1 VERBATIM)
  list(APPEND man_outputs ${gz})
endforeach()
add_custom_target(vestra_man ALL DEPENDS ${man_outputs})
install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(VESTRA_GUI)
  install(FILES ${CMAKE_BINARY_DIR}/bin/vestra.qch DESTINATION ${CMAKE_INSTALL_DATADIR}/vestra)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/report/fragments/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vestra/Report
          FILES_MATCHING PATTERN "*.bnx")
  install(FILES ${desktop_dir}/${VESTRA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${desktop_dir}/${VESTRA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CMAKE_SOURCE_DIR}/app/gui/icons/${VESTRA_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# The Debian package (make package): the shared libraries' packages come from dpkg-shlibdeps; the plug-ins Qt
# loads at run time (the X11 platform, SVG icons, the help file's SQLite driver) are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vestra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tessaron)
set(CPACK_PACKAGE_CONTACT "Tessaron <vestra@tessaron.de>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lightweight SQL worksheet for Oracle databases")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vestra logs on to an Oracle database without Oracle client software, runs SQL and shows the rows in a\n sortable, filterable grid: history, SQL files, schema browser, table workbench, export and printed\n reports. German user interface. Includes vestra-sql and the server emulator vestra-emu.")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
if(VESTRA_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, libqt6sql6-sqlite")
endif()
set(CPACK_STRIP_FILES ON)
include(CPack)
