# The end-to-end test of the Windows program under Wine and Xvfb.
#
# scripts/test cross-builds korvitan.exe first (scripts/build-windows) and
# hands its path to this build as KORVITAN_WINDOWS_EXE. The test is added
# whenever a path is given, so a missing or unbuilt korvitan.exe fails it
# rather than quietly skipping it. Without a path there is no Wine test.
set(KORVITAN_WINDOWS_EXE "" CACHE FILEPATH
    "korvitan.exe to test under Wine (built by scripts/build-windows); empty: no Wine test")

if(KORVITAN_WINDOWS_EXE)
  if(NOT KORVITAN_CLI)
    message(FATAL_ERROR "The Wine test compares the window with korvitan-cli's pictures: "
                        "it needs KORVITAN_CLI=ON")
  endif()
  # The test reads the templates back out of the .exe with the cross windres.
  find_program(KORVITAN_WINDRES NAMES x86_64-w64-mingw32-windres)
  add_test(NAME wine_end_to_end
    COMMAND ${CMAKE_COMMAND} -E env
      KORVITAN_WINDOWS_EXE=${KORVITAN_WINDOWS_EXE}
      KORVITAN_CLI=$<TARGET_FILE:korvitan-cli>
      KORVITAN_PNG_CHECK=$<TARGET_FILE:png_check>
      KORVITAN_DEMO_DIR=${KORVITAN_DEMO_DIR}
      KORVITAN_WINDRES=${KORVITAN_WINDRES}
      bash ${CMAKE_SOURCE_DIR}/tests/wine_e2e_test.sh)
  # Booting a fresh Wine prefix takes most of the time. The test owns an X
  # display while it runs; other tests that start one take the same lock.
  set_tests_properties(wine_end_to_end PROPERTIES
    TIMEOUT 600
    RESOURCE_LOCK korvitan_x_display
    LABELS "e2e;wine")
endif()
