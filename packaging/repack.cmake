# Run by CPack (CPACK_POST_BUILD_SCRIPTS) after it has made a package.
# CMake 3.25 packs an archive's entries in the order the file system lists
# them, with the builder's user and group; this packs the staged tree again
# with the entries sorted by name, owner root, every time stamp
# SOURCE_DATE_EPOCH (see packaging/config.cmake) and no extra fields, so that
# two builds of the same commit give the same bytes. The Debian package's
# own archives are fine (sorted, root, SOURCE_DATE_EPOCH), but the modes of
# its three ar members follow the umask: `ar D` stores them as rw-r--r--.
if(NOT CPACK_GENERATOR MATCHES "^(DEB|TGZ|ZIP)$")
  return()
endif()
set(top "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
get_filename_component(parent "${top}" DIRECTORY)
get_filename_component(name "${top}" NAME)
list(GET CPACK_PACKAGE_FILES 0 archive)

function(run what)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${dir}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (status ${status}): ${ARGN}")
  endif()
endfunction()

set(dir "${parent}")
if(CPACK_GENERATOR STREQUAL "DEB")
  set(dir "${parent}/ar-members")
  file(REMOVE_RECURSE "${dir}")
  file(MAKE_DIRECTORY "${dir}")
  run("ar x" "${CPACK_TAFELIX_AR}" x "${archive}")
  file(REMOVE "${archive}")
  run("ar qcD" "${CPACK_TAFELIX_AR}" qcD "${archive}" debian-binary control.tar.gz data.tar.gz)
  return()
endif()
file(REMOVE "${archive}")
if(CPACK_GENERATOR STREQUAL "TGZ")
  run("tar" tar --sort=name --owner=0 --group=0 --numeric-owner --format=gnu
    --mtime=@$ENV{SOURCE_DATE_EPOCH} --mode=u+rwX,go+rX,go-w
    -cf "${archive}.tar" "${name}")
  run("gzip" gzip -9n "${archive}.tar")
  file(RENAME "${archive}.tar.gz" "${archive}")
else()
  # zip takes the time of each file (as local time: hence TZ=UTC) and, with
  # -X, leaves out the owner and the extra time fields.
  find_program(ZIP zip)
  if(NOT ZIP)
    message(FATAL_ERROR "zip is needed to pack the Windows package reproducibly")
  endif()
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${parent}" "${top}/*")
  list(SORT files)
  run("touch" touch -h -d @$ENV{SOURCE_DATE_EPOCH} ${files})
  run("zip" ${CMAKE_COMMAND} -E env TZ=UTC "${ZIP}" -q -X -9 "${archive}" ${files})
endif()
