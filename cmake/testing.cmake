# Helpers for the tests of every folder.

# Registers each GoogleTest case as a CTest test, with the test properties
# given after the target. Under an emulator the cases are listed when the
# tests run, not at build time, and listing a program that starts slowly is
# given time.
function(dimmer_discover_tests target)
  if(CMAKE_CROSSCOMPILING)
    gtest_discover_tests(${target} NO_PRETTY_VALUES DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300 ${ARGN})
  elseif(ARGN)
    gtest_discover_tests(${target} NO_PRETTY_VALUES PROPERTIES ${ARGN})
  else()
    gtest_discover_tests(${target} NO_PRETTY_VALUES)
  endif()
endfunction()

# Tells a test program where the programs as built are, by a macro such as
# QUORLET_PATH, for each program named after the target.
function(dimmer_program_paths target)
  foreach(program IN LISTS ARGN)
    string(TOUPPER ${program} macro)
    if(WIN32)
      # Wine reads a Unix path as one on its drive Z:.
      set(drive "")
      if(CMAKE_CROSSCOMPILING)
        set(drive "Z:")
      endif()
      set(path "${drive}${CMAKE_BINARY_DIR}/simulated/${program}.exe")
    else()
      set(path "$<TARGET_FILE:${program}>")
    endif()
    target_compile_definitions(${target} PRIVATE ${macro}_PATH="${path}")
    add_dependencies(${target} ${program})
  endforeach()
endfunction()

# An end-to-end test: a GoogleTest program that runs the programs as built
# against the simulated dimmer.
function(dimmer_end_to_end_test name source)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE dimmer_test_support dimmer GTest::gtest_main)
  dimmer_program_paths(${name} ${ARGN})
  dimmer_discover_tests(${name})
  # The same cases again, each program run under valgrind's memcheck:
  # any memory error, or memory definitely or indirectly lost, fails.
  if(DIMMER_VALGRIND AND NOT DIMMER_SANITIZE AND NOT DIMMER_COVERAGE AND NOT CMAKE_CROSSCOMPILING)
    add_test(NAME ${name}_under_memcheck COMMAND ${name})
    set_tests_properties(${name}_under_memcheck PROPERTIES LABELS memcheck TIMEOUT 1200
      ENVIRONMENT "DIMMER_TEST_RUNNER=${DIMMER_VALGRIND} --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect")
  endif()
endfunction()
