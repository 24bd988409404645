# What `cmake --install` puts where, and the packages CPack makes from it:
# on Linux the program, its man page (generated from --help by help2man),
# bash and zsh completions and the documents, as a Debian package and a
# .tar.gz; on Windows the two programs, a README for Windows users and the
# licence, as a .zip.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME vireo-migrate)
set(CPACK_PACKAGE_VENDOR "The Vireo Migration Utility authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "converts Visual Basic 4.0 projects' data grids to Vireo Pro 5.0 for VB4")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(TARGETS vireo-migrate VIRAMU32 RUNTIME DESTINATION .)
  # Documents in Windows line ends, for Notepad. README.txt quotes the help
  # of vireo-migrate.exe, written by a program of the Linux build (given, or
  # built here for the build machine).
  configure_file(${PROJECT_SOURCE_DIR}/doc/README-windows.txt
                 ${CMAKE_BINARY_DIR}/package/README.in @ONLY)
  set(VIREO_README_GENERATOR "" CACHE FILEPATH
      "vireo-windows-readme of a Linux build of these sources (built here when empty)")
  set(readme_generator ${VIREO_README_GENERATOR})
  if(NOT readme_generator)
    include(ExternalProject)
    set(host_tools ${CMAKE_BINARY_DIR}/host-tools)
    ExternalProject_Add(vireo_host_tools
      SOURCE_DIR ${PROJECT_SOURCE_DIR}
      BINARY_DIR ${host_tools}
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DVIREO_BUILD_TESTS=OFF
      BUILD_COMMAND ${CMAKE_COMMAND} --build ${host_tools} --target vireo-windows-readme
      BUILD_ALWAYS ON
      BUILD_BYPRODUCTS ${host_tools}/src/vireo-windows-readme
      INSTALL_COMMAND "")
    set(readme_generator ${host_tools}/src/vireo-windows-readme)
  endif()
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/package/README.txt
    COMMAND ${readme_generator} ${CMAKE_BINARY_DIR}/package/README.in
            ${CMAKE_BINARY_DIR}/package/README.txt
    DEPENDS ${readme_generator} ${CMAKE_BINARY_DIR}/package/README.in
    COMMENT "Writing README.txt from the Windows help"
    VERBATIM)
  add_custom_target(vireo_windows_readme ALL DEPENDS ${CMAKE_BINARY_DIR}/package/README.txt)
  if(NOT VIREO_README_GENERATOR)
    add_dependencies(vireo_windows_readme vireo_host_tools)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/package/LICENSE.txt COPYONLY)
  file(READ ${CMAKE_BINARY_DIR}/package/LICENSE.txt licence)
  string(REPLACE "\n" "\r\n" licence "${licence}")
  file(WRITE ${CMAKE_BINARY_DIR}/package/LICENSE.txt "${licence}")
  install(FILES ${CMAKE_BINARY_DIR}/package/README.txt ${CMAKE_BINARY_DIR}/package/LICENSE.txt
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vireo-migrate-${PROJECT_VERSION}-win32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME vireo-migrate-${PROJECT_VERSION}-win64)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
  return()
endif()

set(CPACK_DEBIAN_PACKAGE_MAINTAINER
    "The Vireo Migration Utility authors <vireo-migrate@users.noreply.example.org>")
install(TARGETS vireo-migrate RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The documents as Debian keeps them: the licence in a machine-readable
# copyright file, and a compressed changelog.
set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vireo-migrate)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "\n\n" "\n.\n" LICENSE_BODY "${licence}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" LICENSE_BODY " ${LICENSE_BODY}")
string(STRIP "${LICENSE_BODY}" LICENSE_BODY)
set(LICENSE_BODY " ${LICENSE_BODY}")
string(TIMESTAMP COPYRIGHT_YEAR "%Y" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in
               ${CMAKE_BINARY_DIR}/package/copyright @ONLY)
string(TIMESTAMP CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
               ${CMAKE_BINARY_DIR}/package/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/package/changelog.gz
  COMMAND gzip -9n -f -k ${CMAKE_BINARY_DIR}/package/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/package/changelog
  VERBATIM)
add_custom_target(vireo_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/package/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
              ${CMAKE_BINARY_DIR}/package/copyright ${CMAKE_BINARY_DIR}/package/changelog.gz
        DESTINATION ${doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/completions/vireo-migrate.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vireo-migrate)
# Debian's zsh reads vendor-completions under /usr; site-functions is the
# place under /usr/local.
set(VIREO_ZSH_COMPLETION_DIR ${CMAKE_INSTALL_DATADIR}/zsh/site-functions
    CACHE STRING "Where the zsh completion goes, relative to the install prefix")
install(FILES ${PROJECT_SOURCE_DIR}/completions/_vireo-migrate
        DESTINATION ${VIREO_ZSH_COMPLETION_DIR})

find_program(HELP2MAN help2man)
if(HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  set(man_page ${CMAKE_BINARY_DIR}/doc/vireo-migrate.1)
  add_custom_command(
    OUTPUT ${man_page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${HELP2MAN} --no-info --no-discard-stderr
            --section=1 --source=vireo-migrate
            "--name=convert Visual Basic 4.0 projects' data grids to Vireo Pro 5.0 for VB4"
            --include=${PROJECT_SOURCE_DIR}/doc/vireo-migrate.h2m --output=${man_page}
            $<TARGET_FILE:vireo-migrate>
    COMMAND ${CMAKE_COMMAND} -DMAN_PAGE=${man_page} -P ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    COMMAND gzip -9n -f -k ${man_page}
    DEPENDS vireo-migrate ${PROJECT_SOURCE_DIR}/doc/vireo-migrate.h2m
            ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    COMMENT "Writing the man page vireo-migrate.1"
    VERBATIM)
  add_custom_target(vireo_man_page ALL DEPENDS ${man_page})
  install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no man page (apt-get install help2man)")
endif()

set(CPACK_GENERATOR DEB TGZ)
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT deb_arch)
  set(deb_arch amd64)
endif()
set(CPACK_PACKAGE_FILE_NAME vireo-migrate-${PROJECT_VERSION}-linux-${deb_arch})
set(CPACK_DEBIAN_FILE_NAME vireo-migrate_${PROJECT_VERSION}_${deb_arch}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The summary above is the first line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "vireo-migrate rewrites a Visual Basic 4.0 project (project file, forms with\n"
    "their .frx files, modules and classes) from an older data-grid control to\n"
    "Vireo Pro 5.0 for VB4, converting every file into a temporary copy first\n"
    "and replacing the originals all together or not at all.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
