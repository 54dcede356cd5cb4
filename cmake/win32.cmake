# win32.cmake - korvitan.exe, the Windows program: the core and the shell
# over the Win32 backend and the KERNEL32 file layer, with the menu and
# dialogs compiled from res/korvitan.rc, reading PAK archives only (the PAK
# archive layer; no libarchive).
#
# Included by CMakeLists.txt when the target is Windows, after the core's
# object libraries are defined. Cross-built here with
# cmake/mingw-w64-x86_64.cmake (see scripts/build-windows); a build on
# Windows with MinGW uses the same file.
enable_language(RC)

add_library(korvitan_win32_files OBJECT src/system/win32_files.cpp)
target_link_libraries(korvitan_win32_files PUBLIC korvitan_core)

add_executable(korvitan WIN32
  src/win32/win32_main.cpp
  src/win32/win32_backend.cpp
  res/korvitan.rc)
# The ANSI calls are named outright (CreateFileA, MessageBoxA, ...), and
# windows.h is kept lean.
target_compile_definitions(korvitan PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
target_compile_definitions(korvitan_win32_files PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(korvitan PRIVATE
  korvitan_core korvitan_shell korvitan_dialogs korvitan_pak_layer korvitan_win32_files korvitan_heap
  user32 gdi32 comdlg32 kernel32)
set_target_properties(korvitan PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

if(MINGW)
  # One self-contained .exe: the C and C++ run-times linked in, so it runs
  # on a bare Windows (or Wine) without the MinGW DLLs beside it.
  target_link_options(korvitan PRIVATE -static -static-libgcc -static-libstdc++)
endif()
include(cmake/win32-resources.cmake)
