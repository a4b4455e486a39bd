# CPACK_PROJECT_CONFIG_FILE: read by CPack before it makes each package.
#
# Every time stamp in the packages is the time of the last commit, so that
# a build of the same commit gives the same bytes; without git, the time of
# the newest top-level file stands in. It goes to SOURCE_DATE_EPOCH (unless
# that is set already), which CPack, CMake's string(TIMESTAMP), binutils'
# strip (the Windows program's header) and packaging/repack.cmake all use.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${CPACK_TAFELIX_SOURCE_DIR}" log -1 --format=%ct
    RESULT_VARIABLE status OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    set(epoch 0)
    file(GLOB top_files "${CPACK_TAFELIX_SOURCE_DIR}/*")
    foreach(file IN LISTS top_files)
      file(TIMESTAMP "${file}" stamp "%s" UTC)
      if(stamp GREATER epoch)
        set(epoch ${stamp})
      endif()
    endforeach()
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
