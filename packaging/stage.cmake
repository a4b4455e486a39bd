# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) once the install tree is staged and
# before it is packed, once for each kind of package (CPACK_GENERATOR).
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
# Folders rwxr-xr-x whatever the umask of the build.
file(GLOB_RECURSE folders LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY "${folder}")
    file(CHMOD "${folder}" DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()

# Files written here are rw-r--r-- too.
function(write_file file text)
  file(WRITE "${file}" "${text}")
  file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

function(gzip_file file)
  execute_process(COMMAND gzip -9n "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file} failed")
  endif()
endfunction()

# Every package carries the browser page of its own version, built before
# by the web preset (see TAFELIX_PAGE_DIR in CMakeLists.txt).
set(page "${root}/share/tafelix/web/index.html")
if(EXISTS "${page}")
  file(READ "${page}" page_text)
endif()
string(REPLACE "." "\\." version_pattern "${CPACK_PACKAGE_VERSION}")
if(NOT page_text MATCHES ">${version_pattern}<")
  message(FATAL_ERROR "The package has no page of version ${CPACK_PACKAGE_VERSION} in share/tafelix/web/: "
    "build it first: cmake --workflow --preset web")
endif()

file(READ "${CPACK_RESOURCE_FILE_LICENSE}" license)
if(CPACK_GENERATOR STREQUAL "DEB")
  # Debian's way: the manual page compressed (gzip -n: no name, no time
  # stamp), the licence as a machine-readable copyright file, a changelog.
  gzip_file("${root}/share/man/man1/tafelix.1")
  set(doc "${root}/share/doc/tafelix")
  file(REMOVE "${doc}/LICENSE")
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${license}")
  set(holder "${CMAKE_MATCH_1}")
  string(FIND "${license}" "Permission is hereby granted" start)
  string(SUBSTRING "${license}" ${start} -1 terms)
  string(STRIP "${terms}" terms)
  string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REGEX REPLACE "\n" "\n " terms "${terms}")
  write_file("${doc}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${CPACK_PACKAGE_NAME}

Files: *
Copyright: ${holder}
License: Expat
 ${terms}
")
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  write_file("${doc}/changelog"
"${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) stable; urgency=medium

  * Release ${CPACK_PACKAGE_VERSION}.

 -- ${CPACK_PACKAGE_CONTACT}  ${date}
")
  gzip_file("${doc}/changelog")
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  # The manual as plain text for Windows, rendered from the manual page:
  # no bold or underline, CR LF line ends.
  find_program(GROFF groff)
  if(NOT GROFF)
    message(FATAL_ERROR "groff is needed to render the manual for the Windows package")
  endif()
  execute_process(
    COMMAND "${GROFF}" -man -Tascii -P-cbou "${root}/share/man/man1/tafelix.1"
    RESULT_VARIABLE status OUTPUT_VARIABLE manual)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "groff failed on the manual page")
  endif()
  string(ASCII 27 escape)
  string(ASCII 8 backspace)
  string(REGEX REPLACE "${escape}\\[[0-9;]*m|.${backspace}" "" manual "${manual}")
  string(REPLACE "\n" "\r\n" manual "${manual}")
  write_file("${root}/MANUAL.txt" "${manual}")
endif()
