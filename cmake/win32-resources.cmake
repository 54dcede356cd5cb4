# win32-resources.cmake - the icon, the application manifest and the
# version information of korvitan.exe (res/version.rc). Included by
# cmake/win32.cmake after the korvitan target is defined.
#
# The icon is drawn once, as data/icons/org.korvitan.Korvitan.svg; here it is
# rendered at 16, 32, 48 and 256 pixels and packed into one .ico (the
# 256-pixel image stored as PNG, as Windows expects for that size).
find_program(KORVITAN_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(KORVITAN_ICOTOOL icotool REQUIRED)

set(korvitan_res_dir ${CMAKE_BINARY_DIR}/res)
set(korvitan_ico ${korvitan_res_dir}/korvitan.ico)
set(korvitan_icon_svg ${CMAKE_SOURCE_DIR}/data/icons/org.korvitan.Korvitan.svg)
set(korvitan_render_icons)
foreach(size 16 32 48 256)
  list(APPEND korvitan_render_icons
    COMMAND ${KORVITAN_RSVG_CONVERT} -w ${size} -h ${size}
            -o ${korvitan_res_dir}/icon-${size}.png ${korvitan_icon_svg})
endforeach()
add_custom_command(OUTPUT ${korvitan_ico}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${korvitan_res_dir}
  ${korvitan_render_icons}
  COMMAND ${KORVITAN_ICOTOOL} -c -o ${korvitan_ico}
          ${korvitan_res_dir}/icon-16.png ${korvitan_res_dir}/icon-32.png
          ${korvitan_res_dir}/icon-48.png --raw=${korvitan_res_dir}/icon-256.png
  DEPENDS ${korvitan_icon_svg}
  COMMENT "Making the program's icon"
  VERBATIM)

# The manifest names the version too; it is filled in from project(VERSION).
set(korvitan_manifest ${korvitan_res_dir}/korvitan.manifest)
configure_file(${CMAKE_SOURCE_DIR}/res/korvitan.manifest.in ${korvitan_manifest} @ONLY)

target_sources(korvitan PRIVATE ${CMAKE_SOURCE_DIR}/res/version.rc)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/version.rc PROPERTIES
  OBJECT_DEPENDS "${korvitan_ico};${korvitan_manifest}"
  INCLUDE_DIRECTORIES ${korvitan_res_dir})
