# The Windows console program, cross-built with MinGW-w64 (cmake/mingw-w64-x86_64.cmake) by
# scripts/build-windows.sh. The library takes the portable sources and, where a source calls the
# platform, its Windows file (name_windows.cpp) instead of its POSIX one (name_posix.cpp): the
# build picks the file, the code has no platform conditionals. SQLite comes from its amalgamation,
# ODBC from Windows' own odbc32; there is no libmdb and no terminfo on Windows.

# The version resource of an executable (name, without .exe) from the project's version.
function(tavrinel_version_resource target name description)
  set(TAVRINEL_FILE_NAME ${name})
  set(TAVRINEL_FILE_DESCRIPTION ${description})
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/version.rc.in
                 ${CMAKE_BINARY_DIR}/${name}-version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/${name}-version.rc)
endfunction()

# GoogleTest built from Debian's googletest sources for the tests that run under Wine.
macro(tavrinel_googletest)
  set(TAVRINEL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
      "GoogleTest's sources (Debian's googletest package), built here for Windows")
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TAVRINEL_GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL SYSTEM)
  enable_testing()
  include(GoogleTest)
endmacro()

set(TAVRINEL_SQLITE_AMALGAMATION "" CACHE PATH
    "Folder holding sqlite3.c and sqlite3.h of the SQLite amalgamation")
if(NOT EXISTS "${TAVRINEL_SQLITE_AMALGAMATION}/sqlite3.c")
  message(FATAL_ERROR "TAVRINEL_SQLITE_AMALGAMATION must name the folder of sqlite3.c "
                      "(scripts/build-windows.sh fetches it)")
endif()

# Built once per build folder and kept: it is by far the slowest file to compile. Always
# optimised and without debug information, whatever the program's build type.
add_library(tavrinel_sqlite3 STATIC "${TAVRINEL_SQLITE_AMALGAMATION}/sqlite3.c")
target_include_directories(tavrinel_sqlite3 SYSTEM PUBLIC "${TAVRINEL_SQLITE_AMALGAMATION}")
# One thread uses SQLite, and never an extension or the shared cache.
target_compile_definitions(tavrinel_sqlite3 PRIVATE SQLITE_THREADSAFE=0 SQLITE_OMIT_LOAD_EXTENSION
                                                    SQLITE_OMIT_SHARED_CACHE SQLITE_OMIT_DEPRECATED
                                                    SQLITE_DEFAULT_MEMSTATUS=0 SQLITE_WIN32_MALLOC)
target_compile_options(tavrinel_sqlite3 PRIVATE -O2 -g0 -w)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The 32-bit build (cmake/mingw-w64-i686.cmake) makes only the Access reader that
  # tavrinel.exe starts when no 64-bit Access driver can open a file: the store's sources, of
  # which the linker takes what the reader calls (SQLite among them: the values read keep its
  # rules), and nothing of the screens.
  file(GLOB_RECURSE TAVRINEL_READER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/store/*.cpp
       ${CMAKE_SOURCE_DIR}/util/*.cpp)
  list(FILTER TAVRINEL_READER_SOURCES EXCLUDE REGEX "(_posix|/sqlite_reader)\\.cpp$")
  add_library(tavrinel_reader STATIC ${TAVRINEL_READER_SOURCES})
  target_include_directories(tavrinel_reader PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(tavrinel_reader PRIVATE ${TAVRINEL_WARNINGS})
  target_compile_definitions(tavrinel_reader PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX
                                                    _POSIX_THREAD_SAFE_FUNCTIONS _FILE_OFFSET_BITS=64)
  target_link_libraries(tavrinel_reader PUBLIC tavrinel_sqlite3 odbc32 psapi)
  file(GLOB TAVRINEL_ODBC_SOURCES ${CMAKE_SOURCE_DIR}/store/sources/odbc/*.cpp)
  set_source_files_properties(${TAVRINEL_ODBC_SOURCES} PROPERTIES
                              COMPILE_OPTIONS "-include;windows.h")
  enable_language(RC)
  add_executable(tavrinel-access32 app/main_access32_windows.cpp
                                   ${CMAKE_SOURCE_DIR}/packaging/windows/tavrinel-access32.rc)
  tavrinel_version_resource(tavrinel-access32 tavrinel-access32 "TAVRINEL 32-bit Access reader")
  target_compile_options(tavrinel-access32 PRIVATE ${TAVRINEL_WARNINGS} -municode)
  target_link_options(tavrinel-access32 PRIVATE -municode)
  target_link_libraries(tavrinel-access32 PRIVATE tavrinel_reader)
  if(BUILD_TESTING)
    # Only the tests whose code differs in a 32-bit process: the wire format the 64-bit
    # program reads (written with 32-bit sizes here), and the reader process.
    tavrinel_googletest()
    add_executable(unit_tests32 ${CMAKE_SOURCE_DIR}/tests/unit/test_main.cpp
                   ${CMAKE_SOURCE_DIR}/tests/unit/store/process/table_stream_test.cpp
                   ${CMAKE_SOURCE_DIR}/tests/unit/store/process/reader_process_test.cpp
                   ${CMAKE_SOURCE_DIR}/tests/unit/store/process/reader_process_windows_test.cpp)
    target_include_directories(unit_tests32 PRIVATE ${CMAKE_SOURCE_DIR}/tests
                                                    ${CMAKE_SOURCE_DIR}/tests/unit)
    target_compile_options(unit_tests32 PRIVATE ${TAVRINEL_WARNINGS})
    target_link_libraries(unit_tests32 PRIVATE tavrinel_reader GTest::gtest)
    target_link_options(unit_tests32 PRIVATE -static)
    gtest_discover_tests(unit_tests32 DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES LABELS unit TIMEOUT 120)
  endif()
  return()
endif()


file(GLOB_RECURSE TAVRINEL_LIB_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/analysis/*.cpp
     ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/console/*.cpp ${CMAKE_SOURCE_DIR}/mail/*.cpp
     ${CMAKE_SOURCE_DIR}/store/*.cpp ${CMAKE_SOURCE_DIR}/util/*.cpp)
list(FILTER TAVRINEL_LIB_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
list(FILTER TAVRINEL_LIB_SOURCES EXCLUDE REGEX "/app/main_(posix|windows|access32_windows)\\.cpp$")

add_library(tavrinel_core STATIC ${TAVRINEL_LIB_SOURCES})
target_include_directories(tavrinel_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tavrinel_core PRIVATE ${TAVRINEL_WARNINGS})
# The code calls the wide (W) Windows functions by name: Wine has no A-suffixed ODBC functions.
# localtime_r and the other reentrant C functions come with the POSIX thread-safe functions.
target_compile_definitions(tavrinel_core PUBLIC TAVRINEL_VERSION="${PROJECT_VERSION}"
                                                WIN32_LEAN_AND_MEAN NOMINMAX
                                                _POSIX_THREAD_SAFE_FUNCTIONS _FILE_OFFSET_BITS=64)
target_link_libraries(tavrinel_core PUBLIC tavrinel_sqlite3 odbc32 psapi)
# MinGW's sql.h takes its types from windows.h without including it; the ODBC reader's files
# are shared with the POSIX build, whose sql.h needs nothing before it.
file(GLOB TAVRINEL_ODBC_SOURCES ${CMAKE_SOURCE_DIR}/store/sources/odbc/*.cpp)
set_source_files_properties(${TAVRINEL_ODBC_SOURCES} PROPERTIES
                            COMPILE_OPTIONS "-include;windows.h")

# wmain: the command line arrives as UTF-16 and is handed on as UTF-8, so a path such as
# "Büro\Database.mdb" is the file it names, whatever the system's code page.
enable_language(RC)
# Its manifest makes UTF-8 the code page of every narrow string the C runtime hands to Windows.
add_executable(tavrinel app/main_windows.cpp ${CMAKE_SOURCE_DIR}/packaging/windows/tavrinel.rc)
target_compile_options(tavrinel PRIVATE ${TAVRINEL_WARNINGS} -municode)
target_link_options(tavrinel PRIVATE -municode)
target_link_libraries(tavrinel PRIVATE tavrinel_core)
tavrinel_version_resource(tavrinel tavrinel "TAVRINEL, student results and result letters")

if(BUILD_TESTING)
  tavrinel_googletest()

  file(GLOB_RECURSE TAVRINEL_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
  # Tests of POSIX-only sources, or that make files and folders the POSIX way, are named
  # name_posix_test.cpp.
  list(FILTER TAVRINEL_UNIT_TESTS EXCLUDE REGEX "_posix_test\\.cpp$")
  add_executable(unit_tests ${TAVRINEL_UNIT_TESTS})
  target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests
                                                ${CMAKE_SOURCE_DIR}/tests/unit)
  target_compile_options(unit_tests PRIVATE ${TAVRINEL_WARNINGS})
  # Absolute Linux paths reach the files under Wine: a path from the root is taken on the drive
  # of the working folder, which for the tests is Wine's drive Z:, the Linux root.
  target_compile_definitions(unit_tests PRIVATE
      TAVRINEL_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
      TAVRINEL_SHARED_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/../shared/fixtures"
      TAVRINEL_GOLDEN_DIR="${CMAKE_SOURCE_DIR}/tests/golden")
  target_link_libraries(unit_tests PRIVATE tavrinel_core GTest::gtest)
  target_link_options(unit_tests PRIVATE -static)
  # Listed when ctest runs, not at build time: listing them runs the .exe under Wine.
  gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES LABELS unit TIMEOUT 120)
endif()
