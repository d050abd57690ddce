# Installation and the Debian package (cpack -G DEB in the build directory):
# both programs, the manager's desktop entry, icons and AppStream metainfo, a
# manual page each, bash completion for tivaro, the copyright file and the
# changelog.
include(GNUInstallDirs)
set(res ${PROJECT_SOURCE_DIR}/resources)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/tivaro-manager)

install(TARGETS tivaro-manager tivaro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${res}/tivaro-manager.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${res}/app_icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME tivaro-manager.png)
install(FILES ${res}/tivaro-manager.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${res}/de.dornik.tivaro_manager.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${res}/completion/tivaro DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${res}/debian/copyright DESTINATION ${docdir})

# Manual pages and the changelog go compressed, without a time stamp in the
# gzip header, so that two builds of the same sources give the same package.
set(compressed)
foreach(src man/tivaro.1 man/tivaro-manager.1 debian/changelog)
  get_filename_component(name ${src} NAME)
  set(out ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND gzip -9 -n -c ${res}/${src} > ${out}
    DEPENDS ${res}/${src} VERBATIM)
  list(APPEND compressed ${out})
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${compressed})
install(FILES ${PROJECT_BINARY_DIR}/packaging/tivaro.1.gz ${PROJECT_BINARY_DIR}/packaging/tivaro-manager.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tivaro-manager)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and configure TIVARO network modules")
# CPack puts the summary on the Description line and indents these lines below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "TIVARO MODUL MANAGER finds TIVARO network modules on the local network with
one UDP broadcast, reads and writes their network and MySQL settings, starts
their database tests, moves them into one network segment and keeps an event
log. tivaro-manager is the desktop tool; tivaro does the same from a shell,
with JSON or CSV output for scripts.")
set(CPACK_PACKAGE_CONTACT "TIVARO maintainers <tivaro@dornik.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, fonts-wine")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
