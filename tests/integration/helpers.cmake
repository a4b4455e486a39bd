# Shared by the integration scripts, which run as `cmake -P` under CTest.

# Finds a program the script needs. When it is missing the script ends as
# skipped, or fails when TAFELIX_REQUIRE_ALL=1 (as in CI). A macro, so that
# its return() ends the calling script.
macro(need_program var)
  find_program(${var} NAMES ${ARGN} NO_CACHE)
  if(NOT ${var})
    if("$ENV{TAFELIX_REQUIRE_ALL}" STREQUAL "1")
      message(FATAL_ERROR "${ARGV1} is required but missing")
    endif()
    message(STATUS "SKIPPED: ${ARGV1} is missing")
    return()
  endif()
endmacro()

# Runs a command and fails the test, showing its output, unless it ends with
# status 0. The output goes to `out_var` when given (OUTPUT_VARIABLE).
function(run_checked what)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT_VARIABLE;WORKING_DIRECTORY" "COMMAND")
  if(NOT arg_WORKING_DIRECTORY)
    set(arg_WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  endif()
  execute_process(COMMAND ${arg_COMMAND}
    WORKING_DIRECTORY "${arg_WORKING_DIRECTORY}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what}: have status ${status}, want 0\n${out}")
  endif()
  if(arg_OUTPUT_VARIABLE)
    set(${arg_OUTPUT_VARIABLE} "${out}" PARENT_SCOPE)
  endif()
endfunction()

# A fresh, empty folder.
function(fresh_folder dir)
  file(REMOVE_RECURSE "${dir}")
  file(MAKE_DIRECTORY "${dir}")
endfunction()

# Fails unless the build log `log` of the caller shows n conversions (the
# "tafelix: <bitmap> -> <header>" lines of tafelix_add_bitmap and tafelix.mk).
function(expect_conversions what n)
  string(REGEX MATCHALL "tafelix: [^\n]* -> [^\n]*\\.h" made "${log}")
  list(LENGTH made have)
  if(NOT have EQUAL n)
    message(FATAL_ERROR "${what}: have ${have} conversions, want ${n}\n${log}")
  endif()
endfunction()
