# The one definition of the library that the executables, the tests and the benchmarks link, for
# every configuration (Linux; Windows x86_64; the i686 Access reader, which takes the store
# alone): all sources of the folders given, a platform part's file by its suffix alone
# (name_posix.cpp on POSIX, name_windows.cpp on Windows), never an entry point.
function(tavrinel_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "FOLDERS;EXCLUDE")
  set(patterns)
  foreach(folder IN LISTS arg_FOLDERS)
    list(APPEND patterns ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  endforeach()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${patterns})
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_windows\\.cpp$")
  endif()
  list(FILTER sources EXCLUDE REGEX "/app/main_(posix|windows|access32_windows)\\.cpp$")
  foreach(pattern IN LISTS arg_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${TAVRINEL_WARNINGS})
  target_compile_definitions(${target} PUBLIC TAVRINEL_VERSION="${PROJECT_VERSION}")
  if(WIN32)
    # The code calls the wide (W) Windows functions by name: Wine has no A-suffixed ODBC
    # functions. localtime_r and the other reentrant C functions come with the POSIX
    # thread-safe functions.
    target_compile_definitions(${target} PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX
                                                _POSIX_THREAD_SAFE_FUNCTIONS _FILE_OFFSET_BITS=64)
    target_link_libraries(${target} PUBLIC tavrinel_sqlite3 odbc32 psapi)
    # MinGW's sql.h takes its types from windows.h without including it; the ODBC reader's
    # files are shared with the POSIX build, whose sql.h needs nothing before it.
    file(GLOB odbc_sources ${CMAKE_SOURCE_DIR}/store/sources/odbc/*.cpp)
    set_source_files_properties(${odbc_sources} PROPERTIES COMPILE_OPTIONS "-include;windows.h")
  endif()
endfunction()
