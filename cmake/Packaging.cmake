# Installation in the usual layout and the Debian package.
#   bin/                         tagwright, tagwright-cli, tagwright-printersim
#   share/tagwright/             Language/, help/ and the default SysOption.ini, found by the programs
#                                at ../share/tagwright, so an installed tree works wherever it lies
#   share/applications, share/metainfo, share/icons/hicolor, share/man/man1, lib/udev/rules.d
include(GNUInstallDirs)

set(TW_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(TW_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/tagwright)
set(TW_APPSTREAM_ID org.tagwright.Tagwright)

install(TARGETS tagwright tagwright-cli tagwright-printersim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/runtime/Language ${CMAKE_SOURCE_DIR}/runtime/help
        DESTINATION ${TW_DATA_DESTINATION})
install(FILES ${CMAKE_SOURCE_DIR}/runtime/lib/SysOption.ini DESTINATION ${TW_DATA_DESTINATION})

install(FILES ${TW_PACKAGING_DIR}/tagwright.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${TW_PACKAGING_DIR}/${TW_APPSTREAM_ID}.metainfo.xml
               ${CMAKE_BINARY_DIR}/packaging/${TW_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${TW_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${TW_PACKAGING_DIR}/icons/${size}/tagwright.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
# udev reads its packaged rules from lib/udev/rules.d under /usr, whatever the library folder is.
install(FILES ${TW_PACKAGING_DIR}/60-tagwright.rules DESTINATION lib/udev/rules.d)

# Manual pages and the package's changelog go in compressed, as Debian keeps them (gzip -n: no
# name or time stamp, so the package is reproducible).
set(TW_COMPRESSED)
foreach(page tagwright tagwright-cli tagwright-printersim)
  set(gz ${CMAKE_BINARY_DIR}/packaging/man/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/man
    COMMAND gzip -9n -c ${TW_PACKAGING_DIR}/man/${page}.1 > ${gz}
    DEPENDS ${TW_PACKAGING_DIR}/man/${page}.1 VERBATIM)
  list(APPEND TW_COMPRESSED ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(TW_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${TW_CHANGELOG_GZ}
  COMMAND gzip -9n -c ${TW_PACKAGING_DIR}/changelog > ${TW_CHANGELOG_GZ}
  DEPENDS ${TW_PACKAGING_DIR}/changelog VERBATIM)
list(APPEND TW_COMPRESSED ${TW_CHANGELOG_GZ})
add_custom_target(tw_packaging_files ALL DEPENDS ${TW_COMPRESSED})
set(TW_DOC_DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tagwright)
install(FILES ${TW_PACKAGING_DIR}/copyright ${TW_CHANGELOG_GZ} DESTINATION ${TW_DOC_DESTINATION})
install(FILES ${TW_PACKAGING_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME tagwright)

# The Debian package (cpack -G DEB); scripts/package.sh builds and checks it.
set(TW_PACKAGE_MAINTAINER "Tagwright developers <tagwright@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tagwright)
set(CPACK_PACKAGE_VENDOR "Tagwright developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TW_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "configuration and test tool for thermal label printers
Tagwright configures and debugs one thermal label printer at a time, over a
serial port, a parallel port, USB or the network. It sends raw printer data
and shows the replies as text or hexadecimal bytes, runs maintenance
commands, sets labels up with wizards, edits the printer's stored parameters
and downloads fonts and firmware, in Simplified Chinese, Traditional Chinese
or English.
.
The package also holds tagwright-cli, a command-line tool for the same link,
and tagwright-printersim, a virtual printer for trying the tool without one.")
# Libraries come from dpkg-shlibdeps; the window system plugin and the help viewer are not linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${TW_PACKAGING_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
