# version.cmake - the version, written once: project(VERSION) in
# CMakeLists.txt. Everything that shows or records it is made from that here,
# in every build (the Windows one included):
#
#   generated/korvitan_version.h   the version as the code and the resource
#                                  compiler see it (res/resource.h includes
#                                  it): text, the four numbers of a Windows
#                                  version resource, the About box's first line
#   version.env                    KORVITAN_VERSION and KORVITAN_VERSION_QUAD,
#                                  for scripts/package, scripts/build-installer
#                                  and scripts/test-packaging to source
#
# The metainfo and the manual pages are configured from their .in files by
# cmake/install.cmake with the same PROJECT_VERSION.

# Windows wants four numbers; the ones project(VERSION) leaves out are 0.
set(korvitan_version_numbers)
foreach(part MAJOR MINOR PATCH TWEAK)
  set(number "${PROJECT_VERSION_${part}}")
  if(number STREQUAL "")
    set(number 0)
  endif()
  list(APPEND korvitan_version_numbers ${number})
endforeach()
list(JOIN korvitan_version_numbers "." KORVITAN_VERSION_QUAD)
list(JOIN korvitan_version_numbers ", " KORVITAN_VERSION_COMMAS)

set(KORVITAN_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/res/korvitan_version.h.in
  ${KORVITAN_GENERATED_DIR}/korvitan_version.h @ONLY)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/version.env
  CONTENT "KORVITAN_VERSION=${PROJECT_VERSION}\nKORVITAN_VERSION_QUAD=${KORVITAN_VERSION_QUAD}\n")
