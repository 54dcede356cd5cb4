# The Windows program korvitan.exe: the engine and the shell over the Win32
# backend, with the menu and dialogs compiled from res/korvitan.rc.
#
# Included by CMakeLists.txt when the target is Windows, after korvitan_core
# and korvitan_shell are defined. Cross-built here with
# cmake/mingw-w64-x86_64.cmake (see scripts/build-windows); a build on
# Windows with MinGW uses the same file.
enable_language(RC)

add_executable(korvitan WIN32
  src/platform/win32/win_main.cpp
  src/platform/win32/win_backend.cpp
  src/platform/win32/files.cpp
  src/platform/heap.cpp
  res/korvitan.rc)
target_include_directories(korvitan PRIVATE src ${CMAKE_SOURCE_DIR})
# The ANSI calls are named outright (CreateFileA, MessageBoxA, ...), and
# windows.h is kept lean.
target_compile_definitions(korvitan PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(korvitan PRIVATE
  korvitan_shell korvitan_core user32 gdi32 comdlg32 kernel32)
set_target_properties(korvitan PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

if(MINGW)
  # One self-contained .exe: the C and C++ run-times linked in, so it runs
  # on a bare Windows (or Wine) without the MinGW DLLs beside it.
  target_link_options(korvitan PRIVATE -static -static-libgcc -static-libstdc++)
endif()
include(cmake/win32-resources.cmake)
