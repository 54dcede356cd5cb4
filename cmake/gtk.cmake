# gtk.cmake - korvitan, the Linux desktop program on GTK 3, and its
# end-to-end test under Xvfb. Included by CMakeLists.txt when KORVITAN_GTK
# is on.

find_package(PkgConfig REQUIRED)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)

add_executable(korvitan
  src/platform/gtk/gtk_main.cpp
  src/platform/gtk/gtk_paint.cpp
  src/platform/gtk/gtk_dialogs.cpp)
target_link_libraries(korvitan PRIVATE
  korvitan_shell korvitan_core korvitan_raster korvitan_posix korvitan_heap PkgConfig::GTK3)

# Drives the real program as a person would: keystrokes and clicks through
# xdotool on a private Xvfb display, pictures checked against korvitan-cli.
if(KORVITAN_TESTS AND KORVITAN_CLI)
  add_test(NAME gtk_end_to_end
    COMMAND ${CMAKE_COMMAND} -E env
      KORVITAN=$<TARGET_FILE:korvitan>
      KORVITAN_CLI=$<TARGET_FILE:korvitan-cli>
      KORVITAN_MKDEMO=$<TARGET_FILE:mkdemo>
      bash ${CMAKE_SOURCE_DIR}/tests/gtk_e2e_test.sh)
  set_tests_properties(gtk_end_to_end PROPERTIES TIMEOUT 180)
endif()
