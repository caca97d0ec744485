# The Linux packaging: the documents built from the sources, what `cmake --install` puts where,
# and the Debian package `cpack -G DEB` writes (scripts/package-test.sh checks both).

install(TARGETS tavrinel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (cpack, cmake --install --strip) also drops the compiler's notes, as Debian's
# own packaging tools do.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tavrinel\"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()")

# The documents. The manual page and the changelog go gzipped at maximum compression, without a
# name or time stamp, so that two builds of one version give the same files. The installed README
# leaves out the parts for a source checkout (between the "source checkout" marks), which name
# the checkout's scripts.
find_program(GZIP_EXE gzip REQUIRED)
set(TAVRINEL_DOC_DIR ${CMAKE_CURRENT_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${TAVRINEL_DOC_DIR}/tavrinel.1.gz ${TAVRINEL_DOC_DIR}/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/doc/tavrinel.1
                           ${TAVRINEL_DOC_DIR}/tavrinel.1
                   COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/debian/changelog
                           ${TAVRINEL_DOC_DIR}/changelog
                   COMMAND ${GZIP_EXE} -9nf ${TAVRINEL_DOC_DIR}/tavrinel.1
                           ${TAVRINEL_DOC_DIR}/changelog
                   DEPENDS doc/tavrinel.1 packaging/debian/changelog VERBATIM)
add_custom_target(tavrinel_docs ALL
                  DEPENDS ${TAVRINEL_DOC_DIR}/tavrinel.1.gz ${TAVRINEL_DOC_DIR}/changelog.gz)

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS README.md packaging/debian/changelog)
file(READ README.md TAVRINEL_README)
set(TAVRINEL_SOURCE_CHECKOUT_BEGIN "\n<!-- source checkout -->\n")
set(TAVRINEL_SOURCE_CHECKOUT_END "<!-- end of source checkout -->\n")
while(TRUE)
  string(FIND "${TAVRINEL_README}" "${TAVRINEL_SOURCE_CHECKOUT_BEGIN}" begin)
  if(begin EQUAL -1)
    break()
  endif()
  string(SUBSTRING "${TAVRINEL_README}" ${begin} -1 rest)
  string(FIND "${rest}" "${TAVRINEL_SOURCE_CHECKOUT_END}" length)
  if(length EQUAL -1)
    message(FATAL_ERROR "README.md: a source checkout mark is not closed")
  endif()
  string(LENGTH "${TAVRINEL_SOURCE_CHECKOUT_END}" end_length)
  math(EXPR end "${begin} + ${length} + ${end_length}")
  string(SUBSTRING "${TAVRINEL_README}" 0 ${begin} head)
  string(SUBSTRING "${TAVRINEL_README}" ${end} -1 tail)
  set(TAVRINEL_README "${head}${tail}")
endwhile()
file(WRITE ${TAVRINEL_DOC_DIR}/README.md "${TAVRINEL_README}")

# A release changes the version in one place; the changelog must say what it brings.
file(STRINGS packaging/debian/changelog TAVRINEL_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT TAVRINEL_CHANGELOG_TOP MATCHES "^tavrinel \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the first entry is not ${PROJECT_VERSION}")
endif()

install(FILES ${TAVRINEL_DOC_DIR}/tavrinel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The copyright file holds the licence: no second copy beside it.
install(FILES ${TAVRINEL_DOC_DIR}/README.md packaging/debian/copyright ${TAVRINEL_DOC_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES sample/Database.mdb DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES packaging/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME tavrinel)

# cpack -G DEB: a Debian package whose Depends come from the shared libraries the program links.
set(TAVRINEL_PACKAGE_MAINTAINER "TAVRINEL developers <tavrinel@example.org>"
    CACHE STRING "Maintainer of the Debian package, as Name <address>")
if(NOT TAVRINEL_PACKAGE_MAINTAINER MATCHES "^[^<>]*[^<> ] <[^<>@ ]+@[^<>@ ]+>$")
  message(FATAL_ERROR "TAVRINEL_PACKAGE_MAINTAINER must read Name <address>, "
                      "not '${TAVRINEL_PACKAGE_MAINTAINER}'")
endif()
set(CPACK_PACKAGE_NAME tavrinel)
set(CPACK_PACKAGE_VENDOR "The TAVRINEL developers")
set(CPACK_PACKAGE_CONTACT "${TAVRINEL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVRINEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines under 80 columns, as Debian's tools show them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "TAVRINEL is a terminal program for the staff of an academic office. At\n"
       "start-up it reads every intake, student, subject result and subject from a\n"
       "Microsoft Access or SQLite database file, or, with --connect, from a\n"
       "database server such as PostgreSQL or MariaDB through ODBC. Then one\n"
       "operator at the keyboard can look a student up by ID, list the student's\n"
       "results with grade words, chart them, forecast the final grade from the\n"
       "marks expected, see the marks still needed for a chosen grade, and write\n"
       "one result letter per student of an intake to mail.txt.\n"
       "\n"
       "It only reads the database and never writes to it.")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
