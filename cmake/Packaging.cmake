# SPDX-License-Identifier: GPL-3.0-or-later
# Installation in the usual layout, as the Debian package (debian/) takes it.
#   bin/                         tagwright, tagwright-cli, tagwright-printersim
#   share/tagwright/             Language/, help/ and the default SysOption.ini, found by the programs
#                                at ../share/tagwright, so an installed tree works wherever it lies
#   share/applications, share/metainfo, share/icons/hicolor, share/man/man1, lib/udev/rules.d
include(GNUInstallDirs)

set(TW_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(TW_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/tagwright)
set(TW_APPSTREAM_ID org.tagwright.Tagwright)

# The release date (YYYY-MM-DD) in the manual pages and the AppStream release is the date of the
# newest entry of debian/changelog, the date dpkg-buildpackage takes for SOURCE_DATE_EPOCH: a build
# of the same tree gives the same files on any day.
set(TW_CHANGELOG ${CMAKE_SOURCE_DIR}/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TW_CHANGELOG})
file(STRINGS ${TW_CHANGELOG} TW_CHANGELOG_TRAILER REGEX "^ -- " LIMIT_COUNT 1)
if(NOT TW_CHANGELOG_TRAILER MATCHES ", ([0-9]?[0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "No date in the newest trailer of ${TW_CHANGELOG}: '${TW_CHANGELOG_TRAILER}'")
endif()
set(TW_RELEASE_YEAR ${CMAKE_MATCH_3})
set(TW_MONTHS Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND TW_MONTHS ${CMAKE_MATCH_2} TW_RELEASE_MONTH)
math(EXPR TW_RELEASE_MONTH "${TW_RELEASE_MONTH} + 101")  # 1-based, with a leading digit to cut
math(EXPR TW_RELEASE_DAY "${CMAKE_MATCH_1} + 100")
string(SUBSTRING ${TW_RELEASE_MONTH} 1 2 TW_RELEASE_MONTH)
string(SUBSTRING ${TW_RELEASE_DAY} 1 2 TW_RELEASE_DAY)
set(TW_RELEASE_DATE ${TW_RELEASE_YEAR}-${TW_RELEASE_MONTH}-${TW_RELEASE_DAY})

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
# (The Debian package installs it with dh_installudev instead.)
install(FILES ${TW_PACKAGING_DIR}/60-tagwright.rules DESTINATION lib/udev/rules.d)
foreach(page tagwright tagwright-cli tagwright-printersim)
  configure_file(${TW_PACKAGING_DIR}/man/${page}.1 ${CMAKE_BINARY_DIR}/packaging/man/${page}.1 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
