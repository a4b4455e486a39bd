# tafelix_add_bitmap(<target> <bitmap> NAME <array> [TRANSPARENT_WHITE] [SIZE])
#
# Converts <bitmap> (a path, relative ones to the current source folder) at
# build time into <array>.h, which defines `int <array>[count]`, and lets the
# sources of <target> say `#include "<array>.h"`. With TRANSPARENT_WHITE the
# converter runs with -wt and pure white becomes -1. With SIZE the build also
# writes <array>_size.h beside it: <ARRAY>_WIDTH, <ARRAY>_HEIGHT (the row
# count) and `extern int <array>[<ARRAY>_WIDTH * <ARRAY>_HEIGHT];`, read from
# the bitmap by tafelix-size.cmake once the converter has accepted it.
#
# The header is made again when the bitmap or the converter changes; a bitmap
# the converter rejects fails the build. Call it in the folder that defines
# <target>. The converter is the target tafelix::tafelix: the imported
# program once the package is installed, the program being built inside
# tafelix's own build tree.

function(tafelix_add_bitmap target bitmap)
  cmake_parse_arguments(PARSE_ARGV 2 arg "TRANSPARENT_WHITE;SIZE" "NAME" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tafelix_add_bitmap: unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET "${target}")
    message(FATAL_ERROR "tafelix_add_bitmap: ${target} is not a target")
  endif()
  # The name becomes both a C identifier and a file name; anything else
  # would give a header that does not compile (or, spelled -wt, a switch).
  if(NOT "${arg_NAME}" MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    message(FATAL_ERROR "tafelix_add_bitmap: NAME must be a C identifier, have '${arg_NAME}'")
  endif()
  if(NOT TARGET tafelix::tafelix)
    message(FATAL_ERROR "tafelix_add_bitmap: the target tafelix::tafelix is missing; "
                        "use find_package(tafelix) first")
  endif()

  get_filename_component(source "${bitmap}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/tafelix/${target}")
  set(header "${folder}/${arg_NAME}.h")
  set(switch "")
  if(arg_TRANSPARENT_WHITE)
    set(switch "-wt")
  endif()

  # The converter leaves an empty file behind when it rejects a bitmap. It
  # writes to a scratch name, renamed only on success, so that a failed
  # conversion is never taken for an up-to-date header by the next build.
  # The size header is an output of the same command: written after the
  # converter accepted the bitmap, made again whenever <array>.h is, and
  # tracked by the generator like any header the sources include.
  set(outputs "${header}")
  set(size_step "")
  set(size_script "")
  set(comment "tafelix: ${bitmap} -> ${arg_NAME}.h")
  if(arg_SIZE)
    set(size_script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/tafelix-size.cmake")
    list(APPEND outputs "${folder}/${arg_NAME}_size.h")
    set(size_step COMMAND "${CMAKE_COMMAND}" "-DBITMAP=${source}" "-DNAME=${arg_NAME}"
      "-DOUT=${folder}/${arg_NAME}_size.h" -P "${size_script}")
    string(APPEND comment " and ${arg_NAME}_size.h")
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${folder}"
    COMMAND tafelix::tafelix "${source}" "${header}.part" "${arg_NAME}" ${switch}
    ${size_step}
    COMMAND "${CMAKE_COMMAND}" -E rename "${header}.part" "${header}"
    DEPENDS "${source}" tafelix::tafelix ${size_script}
    COMMENT "${comment}"
    VERBATIM)
  target_sources("${target}" PRIVATE ${outputs})
  target_include_directories("${target}" PRIVATE "${folder}")
endfunction()
