# hostile.cmake - sanitizers and fuzzers, for a build of their own
# (scripts/test-hostile, with clang):
#
#   KORVITAN_SANITIZE  every target defined before this file is included (the
#                      core, korvitan-cli, the unit tests) gets
#                      AddressSanitizer and UndefinedBehaviorSanitizer, any
#                      report ending the run;
#   KORVITAN_FUZZ      the core is also instrumented for coverage, and the
#                      libFuzzer targets fuzz_level, fuzz_archive, fuzz_views
#                      (the core, as the Windows program has it),
#                      fuzz_chain (the Linux programs' archive layer) and
#                      fuzz_overlay (leak traces and portal files) are
#                      built, with their seed corpus in fuzz-seeds/.
#
# In an ordinary build both are off and this file adds nothing.

option(KORVITAN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(KORVITAN_FUZZ "Build the libFuzzer targets (clang; implies KORVITAN_SANITIZE)" OFF)

if(KORVITAN_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KORVITAN_FUZZ needs clang (libFuzzer): configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

if(KORVITAN_SANITIZE OR KORVITAN_FUZZ)
  set(KORVITAN_SANITIZER_FLAGS
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  set(korvitan_instrument ${KORVITAN_SANITIZER_FLAGS})
  if(KORVITAN_FUZZ)
    # Coverage for libFuzzer to steer by, without libFuzzer's main.
    list(APPEND korvitan_instrument -fsanitize=fuzzer-no-link)
  endif()
  get_property(korvitan_targets DIRECTORY PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS korvitan_targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$")
      target_compile_options(${target} PRIVATE ${korvitan_instrument})
    endif()
    if(type MATCHES "^(SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$")
      target_link_options(${target} PRIVATE ${KORVITAN_SANITIZER_FLAGS})
    endif()
  endforeach()
endif()

if(KORVITAN_FUZZ)
  foreach(name level archive views chain overlay)
    # The archive layer: the Linux programs' for the chains of archives,
    # the Windows program's (PAK only) for the rest.
    set(layer korvitan_pak_layer)
    if(name STREQUAL "chain")
      set(layer korvitan_archive)
    endif()
    add_executable(fuzz_${name}
      fuzz/fuzz_${name}.cpp fuzz/fuzz_support.cpp fuzz/hostile_files.cpp)
    target_include_directories(fuzz_${name} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer ${KORVITAN_SANITIZER_FLAGS})
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer ${KORVITAN_SANITIZER_FLAGS})
    # The recording backend answers the core's host calls, as in the tests.
    target_link_libraries(fuzz_${name} PRIVATE
      korvitan_core korvitan_shell korvitan_dialogs korvitan_raster korvitan_posix_files
      ${layer} korvitan_overlays korvitan_writer korvitan_recording)
    # Every seed (and every input a fuzzer once crashed on that could not be
    # written as a seed) runs once through the target's checks.
    set(inputs ${CMAKE_BINARY_DIR}/fuzz-seeds/${name})
    if(EXISTS ${CMAKE_SOURCE_DIR}/fuzz/regressions/${name})
      list(APPEND inputs ${CMAKE_SOURCE_DIR}/fuzz/regressions/${name})
    endif()
    add_test(NAME fuzz_${name}_seeds COMMAND fuzz_${name} -runs=0 ${inputs})
    set_tests_properties(fuzz_${name}_seeds PROPERTIES LABELS "hostile")
  endforeach()

  # The chains' seeds are the archives the archive layer's tests load, made
  # there by real tools.
  if(NOT TARGET korvitan_archive_tests)
    message(FATAL_ERROR "KORVITAN_FUZZ needs KORVITAN_TESTS=ON: fuzz_chain is seeded by korvitan_archive_tests")
  endif()
  set(KORVITAN_SEED_DIR "${CMAKE_BINARY_DIR}/fuzz-seeds")
  add_custom_command(
    OUTPUT ${KORVITAN_SEED_DIR}/.written
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${KORVITAN_SEED_DIR}
    COMMAND make_seeds ${KORVITAN_SEED_DIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KORVITAN_SEED_DIR}/chain
    COMMAND ${CMAKE_COMMAND} -E env KORVITAN_SAVE_ARCHIVES=${KORVITAN_SEED_DIR}/chain
      $<TARGET_FILE:korvitan_archive_tests> --gtest_brief=1 --gtest_filter=ArchiveLayer.*
    COMMAND ${CMAKE_COMMAND} -E touch ${KORVITAN_SEED_DIR}/.written
    DEPENDS make_seeds korvitan_archive_tests
    COMMENT "Writing the fuzzers' seed corpus")
  add_custom_target(fuzz_seeds ALL DEPENDS ${KORVITAN_SEED_DIR}/.written)
endif()
