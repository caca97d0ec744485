# The one definition of the unit tests, for every configuration (Linux; Windows x86_64 and i686,
# run under Wine).

# Fixtures of our own schema travel with the project; the public files of other schemas and the
# large data set stay beside the checkout, and tests that want them skip when they are absent.
# Absolute Linux paths reach the files under Wine too: a path from the root is taken on the drive
# of the working folder, which for the tests is Wine's drive Z:, the Linux root.
set(TAVRINEL_TEST_DEFINITIONS
    TAVRINEL_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
    TAVRINEL_SHARED_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/../shared/fixtures"
    TAVRINEL_GOLDEN_DIR="${CMAKE_SOURCE_DIR}/tests/golden")

# Every unit test of this platform: all but those of the other platform's files
# (name_posix_test.cpp, name_windows_test.cpp), and the oracle of the differential test (the five
# query texts run on an in-memory SQLite), built with the unit tests: the program has one way to
# build its tree.
function(tavrinel_unit_test_sources variable)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp
       ${CMAKE_SOURCE_DIR}/tests/oracle/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix_test\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_windows_test\\.cpp$")
  endif()
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()

# A unit test program of library: the tests given, with the tests' own entry
# (tests/unit/test_main.cpp, which plays a test's fake reader when Windows starts the program
# again as one), listed for ctest.
function(tavrinel_unit_tests target library)
  add_executable(${target} ${ARGN})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests
                                               ${CMAKE_SOURCE_DIR}/tests/unit)
  target_compile_options(${target} PRIVATE ${TAVRINEL_WARNINGS})
  target_compile_definitions(${target} PRIVATE ${TAVRINEL_TEST_DEFINITIONS})
  target_link_libraries(${target} PRIVATE ${library} GTest::gtest)
  if(WIN32)
    target_link_options(${target} PRIVATE -static)
    # Listed when ctest runs, not at build time: listing them runs the .exe under Wine.
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES LABELS unit TIMEOUT 120)
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit TIMEOUT 120)
  endif()
endfunction()
