# Installation as a desktop program and the Debian package made from it.
# `cmake --install build --prefix /usr` (or `cpack -G DEB` in build/) lays out:
#   bin/panora, bin/panora-sim, bin/panora-ctl
#   share/panora/view1.png .. view4.png       the channel pictures
#   share/applications/panora.desktop         the desktop menu entry
#   share/icons/hicolor/NxN/apps/panora.png   the icon at the usual sizes
#   share/man/man1/*.1.gz                     manuals made from each --help
#   share/doc/panora/                         README, protocol, remote control, copyright
include(GNUInstallDirs)

install(TARGETS panora-sim panora-ctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET panora)
  install(TARGETS panora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES res/view1.png res/view2.png res/view3.png res/view4.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/panora)
  install(FILES res/panora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 16 24 32 48 64 128 256)
    if(size EQUAL 32 OR size EQUAL 64)
      set(icon res/panora${size}.png)
    else()
      set(icon res/icons/panora${size}.png)
    endif()
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME panora.png)
  endforeach()
endif()
install(FILES README.md docs/protocol.md docs/remote.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES docs/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manuals: help2man turns each program's own --help into the manual's
# options, docs/man/NAME.h2m adds the description, files and examples, so the
# two cannot disagree.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(HELP2MAN AND GZIP)
  set(manpages)
  foreach(prog panora panora-sim panora-ctl)
    if(NOT TARGET ${prog})
      continue()
    endif()
    set(page ${CMAKE_BINARY_DIR}/man/${prog}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 QT_QPA_PLATFORM=offscreen
              ${HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
              --include=${PROJECT_SOURCE_DIR}/docs/man/${prog}.h2m
              --output=${CMAKE_BINARY_DIR}/man/${prog}.1 $<TARGET_FILE:${prog}>
      COMMAND ${GZIP} -n -9 -f ${CMAKE_BINARY_DIR}/man/${prog}.1
      DEPENDS ${prog} ${PROJECT_SOURCE_DIR}/docs/man/${prog}.h2m
      COMMENT "Manual page of ${prog}"
      VERBATIM)
    list(APPEND manpages ${page})
  endforeach()
  add_custom_target(manpages ALL DEPENDS ${manpages})
  install(FILES ${manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man or gzip not found: no manual pages")
endif()

# The Debian package: the same install under /usr. Library dependencies come
# from dpkg-shlibdeps; what the binaries do not link but the program needs at
# run time is listed here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME panora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Panora developers <panora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for a four-channel video wall processor")
set(CPACK_PACKAGE_DESCRIPTION
    "Panora drives a video wall processor with four inputs, four picture channels and four\n"
    "outputs over RS232, a USB serial port or TCP/IP: display modes, the channel\n"
    "windows on the output picture, resolutions, inputs, layers, picture settings and\n"
    "bezels. panora-sim simulates a processor; panora-ctl sends frames from scripts.")
# The strings above are joined into one; the list separators go, the text's own semicolons stay.
string(REPLACE "\n;" "\n" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's X11 platform plugin ships in libqt6gui6, which the program links.
# The docking bars' captions are Chinese: the smallest font that has them.
set(PANORA_DEB_DEPENDS "hicolor-icon-theme, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${PANORA_DEB_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
