# How the tests are built and registered. Every folder under tests/ has a small
# CMakeLists.txt of its own that uses these functions; tests/CMakeLists.txt
# adds the folders and calls kilna_tests_finish() after the last one.
#
# Names: a test carries its folder, so that `scripts/test FOLDER` selects it
# (tests/native/proxy: native_proxy_tests under Wine, native_proxy_host_tests
# on the host; tests/e2e: SUBSYSTEM_e2e_tests).
#
# Labels read by scripts/lib/test_selection.py:
#   netns   needs the run's network namespace (resolves names, reads interface
#           tables, or changes the namespace's links)
#   wine    needs the Wine session although its command is no Windows program
#   dpi144  needs the prefix's screen at 144 DPI (a pass of its own)

# A crash, or an exception Wine swallowed in a window procedure (which cuts the
# procedure short and can leave a process waiting for ever), fails a Windows
# test whatever its exit code says. tests/crash_patterns/ holds one faulting
# program per pattern and checks that each one fails its test.
set(KILNA_WINE_CRASH_PATTERNS "ignoring exception;Unhandled exception;Unhandled page fault")

# The rules of every Windows test. The Windows tests share one prefix, one
# desktop and the user's settings in it, so they run one at a time (the
# wine_desktop lock) unless BESIDE_DESKTOP says the test touches none of them.
function(kilna_windows_test_rules name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "BESIDE_DESKTOP" "" "")
  set_tests_properties(${name} PROPERTIES FAIL_REGULAR_EXPRESSION "${KILNA_WINE_CRASH_PATTERNS}")
  if(NOT arg_BESIDE_DESKTOP)
    set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK wine_desktop)
  endif()
  set_property(GLOBAL APPEND PROPERTY KILNA_RULED_WINDOWS_TESTS ${name})
endfunction()

# A Windows test that is not one GoogleTest program of its own (a script, a
# filtered run of a program): add_test's NAME and COMMAND, and the rules.
function(kilna_add_windows_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "BESIDE_DESKTOP" "NAME" "COMMAND")
  add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND})
  if(arg_BESIDE_DESKTOP)
    kilna_windows_test_rules(${arg_NAME} BESIDE_DESKTOP)
  else()
    kilna_windows_test_rules(${arg_NAME})
  endif()
endfunction()

# One GoogleTest program run under Wine by ctest (CMAKE_CROSSCOMPILING_EMULATOR).
function(kilna_windows_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE kilna_test_support GTest::gtest_main)
  kilna_test_program(${name})
  kilna_add_windows_test(NAME ${name} COMMAND ${name})
endfunction()

# One GoogleTest program of the portable core, natively with the sanitizers.
function(kilna_host_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest_main)
  kilna_sanitize(${name})
  kilna_test_program(${name})
  add_test(NAME ${name} COMMAND ${name})
endfunction()

function(kilna_test_labels name)
  set_property(TEST ${name} APPEND PROPERTY LABELS ${ARGN})
endfunction()

# A GoogleTest program whose suite and case names `scripts/test PATTERN` may
# select: its sources are listed for scripts/lib/test_selection.py.
function(kilna_test_program target)
  set_property(GLOBAL APPEND PROPERTY KILNA_TEST_PROGRAMS ${target})
endfunction()

function(_kilna_tests_of_folder dir out)
  get_property(tests DIRECTORY ${dir} PROPERTY TESTS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    _kilna_tests_of_folder(${subdir} more)
    list(APPEND tests ${more})
  endforeach()
  set(${out} ${tests} PARENT_SCOPE)
endfunction()

# After the last test folder: every Windows test follows the rules above (a
# plain add_test would run without the crash patterns, so it stops the
# configure), and each test program's sources are listed in
# BUILD/test_programs/NAME.sources (its source folder, then one source a line).
function(kilna_tests_finish)
  if(WIN32)
    _kilna_tests_of_folder(${CMAKE_CURRENT_SOURCE_DIR} all_tests)
    get_property(ruled GLOBAL PROPERTY KILNA_RULED_WINDOWS_TESTS)
    list(REMOVE_ITEM all_tests ${ruled})
    if(all_tests)
      message(FATAL_ERROR "Windows tests added without kilna_add_windows_test or kilna_windows_test "
        "(cmake/kilna_tests.cmake), so without the crash patterns: ${all_tests}")
    endif()
  endif()
  get_property(programs GLOBAL PROPERTY KILNA_TEST_PROGRAMS)
  foreach(program IN LISTS programs)
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/test_programs/${program}.sources
      CONTENT "$<TARGET_PROPERTY:${program},SOURCE_DIR>\n$<JOIN:$<TARGET_PROPERTY:${program},SOURCES>,\n>\n")
  endforeach()
endfunction()
