# tafelix_add_bitmap(<target> <picture> NAME <array> [TRANSPARENT_WHITE] [SIZE]
#                    [BACKGROUND <RRGGBB>])
#
# Converts <picture> (a path, relative ones to the current source folder) at
# build time into <array>.h, which defines `int <array>[count]`, and lets the
# sources of <target> say `#include "<array>.h"`. With TRANSPARENT_WHITE the
# converter runs with -wt and pure white becomes -1. With SIZE the build also
# writes <array>_size.h beside it: <ARRAY>_WIDTH, <ARRAY>_HEIGHT (the row
# count) and `extern int <array>[<ARRAY>_WIDTH * <ARRAY>_HEIGHT];`, read from
# the bitmap by tafelix-size.cmake once the converter has accepted it.
#
# The picture's kind comes from its name (any case), never from what it
# holds: .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib; any other name
# stops the configure. An uncompressed 24-bit BMP, and a BMP whose header is
# damaged, go to the converter as they are. Every other picture is made
# into a 24-bit bitmap in the build folder by ImageMagick (the cache
# variable TAFELIX_MAGICK; see tafelix-convert.cmake) with the coder of its
# kind, so no outside program ever starts: the picture people see (JPEG
# turned as its EXIF orientation says, CMYK and grey made RGB; PNG values as
# stored; a GIF's first frame on its whole screen), each channel blended
# over the background as round((c*a + B*(255-a)) / 255). BACKGROUND is B,
# six hex digits, FFFFFF by default; with TRANSPARENT_WHITE a fully
# transparent pixel becomes white and so -1. Pictures over 8192 x 8192
# pixels are refused before they are decoded; a picture that is not of its
# name's kind, or damaged, fails the build naming it and ImageMagick's
# reason.
#
# The header is made again when the picture or the converter changes; a
# picture the converter rejects fails the build. Call it in the folder that
# defines <target>. The converter is the target tafelix::tafelix: the
# imported program once the package is installed, the program being built
# inside tafelix's own build tree.

# The C keywords (C89 to C23), which no array may be named: the same line,
# in the same order, as in tafelix.mk.
set(_tafelix_keywords "auto break case char const continue default do double else enum extern float for goto if inline int long register restrict return short signed sizeof static struct switch typedef union unsigned void volatile while _Alignas _Alignof _Atomic _Bool _Complex _Generic _Imaginary _Noreturn _Static_assert _Thread_local alignas alignof bool constexpr false nullptr static_assert thread_local true typeof typeof_unqual _BitInt _Decimal32 _Decimal64 _Decimal128")

# The kind of a picture, the name of ImageMagick's coder for it, from its
# name's ending; empty for any other name.
set(_tafelix_kinds "tafelix takes .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib pictures")
function(_tafelix_kind picture out)
  string(TOLOWER "${picture}" lower)
  string(REGEX MATCH "\\.(png|gif|webp|bmp|dib|jpg|jpeg|jpe)$" kind "${lower}")
  string(REGEX REPLACE "^\\.(jpg|jpeg|jpe)$" "jpeg" kind "${kind}")
  string(REGEX REPLACE "^\\.(dib|bmp)$" "bmp" kind "${kind}")
  string(REGEX REPLACE "^\\." "" kind "${kind}")
  set(${out} "${kind}" PARENT_SCOPE)
endfunction()

# ImageMagick into the cache variable `var`: magick, or convert but on
# Windows, which has a convert.exe of its own that is something else.
function(_tafelix_find_magick var)
  set(names magick convert)
  if(CMAKE_HOST_WIN32)
    set(names magick)
  endif()
  find_program(${var} NAMES ${names} DOC "ImageMagick, which makes pictures into bitmaps")
endfunction()

function(tafelix_add_bitmap target picture)
  cmake_parse_arguments(PARSE_ARGV 2 arg "TRANSPARENT_WHITE;SIZE" "NAME;BACKGROUND" "")
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
  string(REPLACE " " ";" keywords "${_tafelix_keywords}")
  list(FIND keywords "${arg_NAME}" keyword)
  if(keyword GREATER -1)
    message(FATAL_ERROR "tafelix_add_bitmap: NAME must not be a C keyword, have '${arg_NAME}'")
  endif()
  # <array>.h and <ARRAY>_WIDTH of `pic` and `Pic` would share macros and
  # include guards, and one file on a file system that ignores case.
  string(TOUPPER "${arg_NAME}" upper)
  get_property(taken TARGET "${target}" PROPERTY _TAFELIX_ARRAYS)
  foreach(other IN LISTS taken)
    string(TOUPPER "${other}" other_upper)
    if(other_upper STREQUAL upper)
      message(FATAL_ERROR "tafelix_add_bitmap: ${target} has an array '${other}' already; "
                          "'${arg_NAME}' differs from it at most in case")
    endif()
  endforeach()
  if(NOT DEFINED arg_BACKGROUND AND NOT arg_KEYWORDS_MISSING_VALUES MATCHES "BACKGROUND")
    set(arg_BACKGROUND FFFFFF)
  endif()
  if(NOT arg_BACKGROUND MATCHES "^[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]$")
    message(FATAL_ERROR "tafelix_add_bitmap: BACKGROUND must be six hex digits RRGGBB, "
                        "have '${arg_BACKGROUND}'")
  endif()
  if(NOT TARGET tafelix::tafelix)
    message(FATAL_ERROR "tafelix_add_bitmap: the target tafelix::tafelix is missing; "
                        "use find_package(tafelix) first")
  endif()

  # CMake splits a path at ; into a list: the build would look for pieces
  # of the name.
  if(picture MATCHES ";")
    message(FATAL_ERROR "tafelix_add_bitmap: ${picture}: a picture's path must not hold ;")
  endif()
  get_filename_component(source "${picture}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/tafelix/${target}")
  set(header "${folder}/${arg_NAME}.h")
  set(switch "")
  if(arg_TRANSPARENT_WHITE)
    set(switch "-wt")
  endif()

  _tafelix_kind("${source}" kind)
  if(NOT kind)
    message(FATAL_ERROR "tafelix_add_bitmap: ${picture}: ${_tafelix_kinds}")
  endif()
  _tafelix_find_magick(TAFELIX_MAGICK)
  # A BMP needs ImageMagick only if it is not a 24-bit one, known at build
  # time; tafelix-convert.cmake says so then.
  if(NOT kind STREQUAL "bmp" AND (NOT TAFELIX_MAGICK OR NOT EXISTS "${TAFELIX_MAGICK}"))
    message(FATAL_ERROR "tafelix_add_bitmap: ${picture} is no BMP; ImageMagick converts it, "
      "and ImageMagick was not found (TAFELIX_MAGICK is '${TAFELIX_MAGICK}'): install it, "
      "or set TAFELIX_MAGICK to its magick or convert program")
  endif()

  # The converter leaves an empty file behind when it rejects a bitmap.
  # tafelix-convert.cmake lets it write to a scratch name, renamed only on
  # success, so that a failed conversion is never taken for an up-to-date
  # header by the next build. The size header is an output of the same
  # command: written after the converter accepted the bitmap, made again
  # whenever <array>.h is, and tracked by the generator like any header the
  # sources include.
  set(bitmap "${folder}/${arg_NAME}.bmp")
  set(outputs "${header}")
  set(size_header "")
  set(comment "tafelix: ${picture} -> ${arg_NAME}.h")
  if(arg_SIZE)
    set(size_header "${folder}/${arg_NAME}_size.h")
    list(APPEND outputs "${size_header}")
    string(APPEND comment " and ${arg_NAME}_size.h")
  endif()
  set(scripts "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/tafelix-convert.cmake"
    "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/tafelix-size.cmake")
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${folder}"
    COMMAND "${CMAKE_COMMAND}" "-DPICTURE=${source}" "-DKIND=${kind}" "-DBITMAP=${bitmap}"
      "-DHEADER=${header}" "-DNAME=${arg_NAME}" "-DSWITCH=${switch}" "-DBACKGROUND=${arg_BACKGROUND}"
      "-DMAGICK=${TAFELIX_MAGICK}" "-DTAFELIX=$<TARGET_FILE:tafelix::tafelix>"
      "-DSIZE_HEADER=${size_header}" -P "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/tafelix-convert.cmake"
    DEPENDS "${source}" tafelix::tafelix ${scripts}
    COMMENT "${comment}"
    VERBATIM)
  target_sources("${target}" PRIVATE ${outputs})
  target_include_directories("${target}" PRIVATE "${folder}")

  # What an earlier configure made there and no call makes now (a size
  # header after SIZE was dropped, the headers of a renamed array) must not
  # stay on the include path: once the folder's calls are all known, at the
  # end of this folder's CMakeLists.txt, the rest goes.
  if(NOT taken)
    # A deferred call reads its variables when it runs: pass the values.
    cmake_language(EVAL CODE
      "cmake_language(DEFER CALL _tafelix_prune [==[${target}]==] [==[${folder}]==])")
  endif()
  set_property(TARGET "${target}" APPEND PROPERTY _TAFELIX_ARRAYS "${arg_NAME}")
  set_property(TARGET "${target}" APPEND PROPERTY _TAFELIX_FILES ${outputs} "${bitmap}")
endfunction()

function(_tafelix_prune target folder)
  get_property(keep TARGET "${target}" PROPERTY _TAFELIX_FILES)
  file(GLOB made "${folder}/*")
  foreach(file IN LISTS made)
    list(FIND keep "${file}" kept)
    if(kept EQUAL -1)
      file(REMOVE "${file}")
    endif()
  endforeach()
endfunction()
