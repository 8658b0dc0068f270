# The Debian package of the native build (cpack -G DEB in the build folder): its control data, and the
# installed manual page, changelog and copyright as Debian wants them (packaging/changelog.in, copyright).
find_program(KZM_GZIP gzip REQUIRED)

# The changelog's date is SOURCE_DATE_EPOCH's when it is set (a release), else the configure time.
string(TIMESTAMP KZM_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the kzm2it authors <kzm2it@example.org>")
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in changelog @ONLY)

# gzip -n: no name or time in the header, so the same text always gives the same bytes.
foreach(doc kzm2it.1 changelog)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${doc}.gz
    COMMAND ${KZM_GZIP} -9nc ${doc} > ${doc}.gz
    DEPENDS ${CMAKE_BINARY_DIR}/${doc}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
endforeach()
add_custom_target(kzmdocs ALL DEPENDS ${CMAKE_BINARY_DIR}/kzm2it.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)
# Stripped as Debian strips: also the compiler's notes that glibc's start files bring (.comment).
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kzm2it\" COMMAND_ERROR_IS_FATAL ANY)
endif()")
install(FILES ${CMAKE_BINARY_DIR}/kzm2it.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "${CPACK_DEBIAN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert KZM music modules into Impulse Tracker modules")
set(CPACK_PACKAGE_DESCRIPTION "kzm2it reads music modules in the KZM format and writes each as an
Impulse Tracker module (.it) in sample mode, which trackers and players load.
It converts the files and folders named on its command line, or asks for
one name in a dialogue. An existing IT file is only ever replaced by a whole
new one.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Folders as Debian has them whatever the umask of the one who builds.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
