# Toolchain file: cross-builds the Windows program with mingw-w64 for
# 64-bit Windows on a Linux machine.
#
#   cmake -S . -B build-win -G Ninja \
#       -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Debian's packages: g++-mingw-w64-x86-64 and binutils-mingw-w64-x86-64
# (windres compiles the menu and dialog resources).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVITAN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVITAN_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${KORVITAN_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${KORVITAN_MINGW_PREFIX}-windres)

# Headers and libraries come from the cross sysroot only; programs run
# during the build come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KORVITAN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
