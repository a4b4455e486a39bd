# Release packages, made by CPack from the install tree: on Linux a Debian
# package and a .tar.gz, for Windows (the MinGW-w64 cross build) a .zip.
# `cmake --workflow --preset package` and `... --preset windows-package`
# put them into build/packages/ (on a Linux host: packaging/repack.cmake
# needs GNU tar). packaging/README.md tells what each holds, how it is made
# reproducible, and how to check a package against the sources.

# The documents travel with the program: in share/doc/tafelix/ where that is
# the custom, beside bin/ in a Windows folder.
if(WIN32)
  set(TAFELIX_DOC_DIR .)
else()
  set(TAFELIX_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES README.md LICENSE DESTINATION ${TAFELIX_DOC_DIR})
install(FILES examples/README.md DESTINATION ${TAFELIX_DOC_DIR}/examples)

# The packages are tafelix's own; inside another project's build, CPack is
# that project's.
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" TAFELIX_PLATFORM)
set(CPACK_PACKAGE_NAME tafelix)
set(CPACK_PACKAGE_VENDOR "the tafelix authors")
set(CPACK_PACKAGE_CONTACT "the tafelix authors <tafelix@example.org>" CACHE STRING
    "Maintainer named in the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn a 24-bit Windows bitmap into a C array of its pixels")
set(CPACK_PACKAGE_DESCRIPTION
"tafelix reads an uncompressed 24-bit Windows bitmap and writes a C source
file that defines an int array of its pixels (0xRRGGBB, top row first),
ready to be included into a program that has no image loader. The package
also holds a CMake package whose tafelix_add_bitmap() converts bitmaps at
build time.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME tafelix-${PROJECT_VERSION}-${TAFELIX_PLATFORM})
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/config.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/stage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/repack.cmake)
set(CPACK_TAFELIX_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_TAFELIX_AR ${CMAKE_AR})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB TGZ)
else()
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
