# install.cmake - what `cmake --install` puts under the prefix on Linux, and
# the tests of that tree: its files, and its thumbnailer as the desktop's
# thumbnail services run it. Included by CMakeLists.txt after the programs are
# defined (not in the Windows build).
#
#   bin/korvitan, bin/korvitan-cli
#   share/applications/org.korvitan.Korvitan.desktop
#   share/mime/packages/org.korvitan.Korvitan.xml       (application/x-bsp-level)
#   share/thumbnailers/org.korvitan.Korvitan.thumbnailer
#   share/metainfo/org.korvitan.Korvitan.metainfo.xml
#   share/icons/hicolor/{scalable,48x48,256x256}/apps/org.korvitan.Korvitan.*
#   share/man/man1/korvitan.1.gz, korvitan-cli.1.gz
#   share/doc/korvitan/README.md                        (korvitan(1) points here)
#
# The PNG icons are rendered from the SVG and the manual pages compressed at
# build time, so the tree holds only what the build made or the source has.
# The metainfo and the manual pages carry @PROJECT_VERSION@ in the source,
# filled in here with project(VERSION).

include(GNUInstallDirs)

set(KORVITAN_APP_ID org.korvitan.Korvitan)

foreach(program korvitan korvitan-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES data/${KORVITAN_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${KORVITAN_APP_ID}.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES data/${KORVITAN_APP_ID}.thumbnailer
  DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
configure_file(data/${KORVITAN_APP_ID}.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/data/${KORVITAN_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/data/${KORVITAN_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The user's manual, in the folder korvitan(1) names (GNUInstallDirs' DOCDIR
# would take the project's upper-case name).
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvitan)

# ---- The icon: the SVG as drawn, and PNGs rendered from it -------------------
find_program(KORVITAN_RSVG_CONVERT rsvg-convert REQUIRED)
set(korvitan_icon_svg ${CMAKE_SOURCE_DIR}/data/icons/${KORVITAN_APP_ID}.svg)
install(FILES ${korvitan_icon_svg}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
set(korvitan_icon_pngs)
foreach(size 48 256)
  set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${KORVITAN_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
    COMMAND ${KORVITAN_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${korvitan_icon_svg}
    DEPENDS ${korvitan_icon_svg}
    COMMENT "Rendering the ${size}x${size} icon"
    VERBATIM)
  list(APPEND korvitan_icon_pngs ${png})
  install(FILES ${png}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# ---- Manual pages, compressed as Debian installs them -------------------------
# gzip -n leaves the name and time out, so the same page gives the same bytes.
# The version is filled in at configure time (configure_file reruns CMake
# when a page changes).
find_program(KORVITAN_GZIP gzip REQUIRED)
set(korvitan_man_pages)
foreach(page korvitan.1 korvitan-cli.1)
  set(gz ${CMAKE_BINARY_DIR}/man/${page}.gz)
  configure_file(man/${page} ${CMAKE_BINARY_DIR}/man/source/${page} @ONLY)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/man/source/${page} ${CMAKE_BINARY_DIR}/man/${page}
    COMMAND ${KORVITAN_GZIP} -9nf ${CMAKE_BINARY_DIR}/man/${page}
    DEPENDS ${CMAKE_BINARY_DIR}/man/source/${page}
    COMMENT "Compressing the manual page ${page}"
    VERBATIM)
  list(APPEND korvitan_man_pages ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

add_custom_target(install_data ALL DEPENDS ${korvitan_icon_pngs} ${korvitan_man_pages})

# ---- The test of the installed tree -------------------------------------------
# Installs this build into a temporary prefix and checks every file there
# with the tool the desktop uses to read it. It needs both programs.
if(KORVITAN_TESTS AND TARGET korvitan AND TARGET korvitan-cli)
  # Loads the installed icon through GTK's icon theme, as a desktop does.
  add_executable(icon_check tests/support/icon_check.cpp)
  target_link_libraries(icon_check PRIVATE PkgConfig::GTK3)
  add_test(NAME install_tree
    COMMAND ${CMAKE_COMMAND} -E env
      KORVITAN_BUILD_DIR=${CMAKE_BINARY_DIR}
      KORVITAN_DEMO_DIR=${KORVITAN_DEMO_DIR}
      KORVITAN_ICON_CHECK=$<TARGET_FILE:icon_check>
      bash ${CMAKE_SOURCE_DIR}/tests/install_test.sh)
  set_tests_properties(install_tree PROPERTIES TIMEOUT 120 LABELS "install")
endif()

# ---- The thumbnailer under the desktop's own thumbnail services ---------------
# GNOME's thumbnail factory (in bubblewrap) and tumbler (over a private
# D-Bus session) make thumbnails with the installed thumbnailer entry. The
# factory is asked by a small C client, as a file manager asks it. Not in
# the sanitizer build (cmake/hostile.cmake), which tests hostile input and
# instruments every target with clang's flags.
if(KORVITAN_TESTS AND TARGET korvitan-cli AND NOT KORVITAN_SANITIZE AND NOT KORVITAN_FUZZ)
  enable_language(C)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GNOME_DESKTOP REQUIRED IMPORTED_TARGET gnome-desktop-3.0)
  add_executable(gnome_thumbnail tests/support/gnome_thumbnail.c)
  target_link_libraries(gnome_thumbnail PRIVATE PkgConfig::GNOME_DESKTOP)
  add_test(NAME thumbnailers
    COMMAND ${CMAKE_COMMAND} -E env
      KORVITAN_BUILD_DIR=${CMAKE_BINARY_DIR}
      KORVITAN_DEMO_DIR=${KORVITAN_DEMO_DIR}
      KORVITAN_GNOME_THUMBNAIL=$<TARGET_FILE:gnome_thumbnail>
      bash ${CMAKE_SOURCE_DIR}/tests/thumbnailers_test.sh)
  set_tests_properties(thumbnailers PROPERTIES TIMEOUT 240 LABELS "install")
endif()
