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
  tavrinel_library(tavrinel_reader FOLDERS store util EXCLUDE "/sources/sqlite/")
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
    include(${CMAKE_SOURCE_DIR}/cmake/unit_tests.cmake)
    tavrinel_unit_tests(unit_tests32 tavrinel_reader ${CMAKE_SOURCE_DIR}/tests/unit/test_main.cpp
                        ${CMAKE_SOURCE_DIR}/tests/unit/store/process/table_stream_test.cpp
                        ${CMAKE_SOURCE_DIR}/tests/unit/store/process/reader_process_test.cpp
                        ${CMAKE_SOURCE_DIR}/tests/unit/store/process/reader_process_windows_test.cpp)
  endif()
  return()
endif()

tavrinel_library(tavrinel_core FOLDERS analysis app console mail store util)

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

  include(${CMAKE_SOURCE_DIR}/cmake/unit_tests.cmake)
  tavrinel_unit_test_sources(TAVRINEL_UNIT_TESTS)
  tavrinel_unit_tests(unit_tests tavrinel_core ${TAVRINEL_UNIT_TESTS})
endif()
