# The build step of tafelix_add_bitmap(): makes <header> from a picture.
#
#   cmake -DPICTURE=<picture> -DKIND=<png|jpeg|gif|webp|bmp> -DBITMAP=<made bitmap>
#         -DHEADER=<header> -DNAME=<array> [-DSWITCH=-wt] -DBACKGROUND=<RRGGBB>
#         -DMAGICK=<ImageMagick> -DTAFELIX=<tafelix> [-DSIZE_HEADER=<file>]
#         -P tafelix-convert.cmake
#
# By hand (where no POSIX shell runs tafelix-picture.sh), PICTURE and BITMAP
# are enough: the kind then comes from the name, ImageMagick is found as
# for tafelix_add_bitmap(), the background is FFFFFF, and without TAFELIX
# only BITMAP is made (a copy of a picture that goes to tafelix as it is).
#
# KIND comes from the picture's name, never from its content. A BMP goes to
# tafelix as it is when it is an uncompressed 24-bit one or when its header
# is damaged (tafelix's own messages then say what is wrong). Every other
# picture is made into BITMAP by ImageMagick in two steps, its coder named:
# the picture people see as straight 8-bit RGBA (PNG values as stored, JPEG
# turned as its EXIF orientation says and made RGB, a GIF's first frame on
# its whole logical screen), then blended over BACKGROUND. ImageMagick reads
# the picture on standard input and writes to standard output, so that no
# path ever reaches its file name parser (%d, [0], @list, -option), and its
# warnings count as errors, so a damaged picture fails.
# Nothing is left behind under HEADER's name when anything fails.

# ImageMagick's messages without the program's name and the temporary file
# and source line it adds: "improper image header", not "convert:
# improper image header `/tmp/magick-...' @ error/png.c/...".
function(_tafelix_reason err out)
  string(REPLACE "\n" ";" lines "${err}")
  set(reasons "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[^: ]+: " "" line "${line}")
    string(REGEX REPLACE " `[^`]*$" "" line "${line}")
    if(line AND NOT line MATCHES "no images defined")
      list(APPEND reasons "${line}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES reasons)
  list(JOIN reasons "; " reasons)
  set(${out} "${reasons}" PARENT_SCOPE)
endfunction()

# Fails, naming the picture and ImageMagick's reason, unless `status` is 0.
function(_tafelix_magick_done status err)
  if(status EQUAL 0)
    return()
  endif()
  file(REMOVE "${BITMAP}" "${BITMAP}.png")
  _tafelix_reason("${err}" reason)
  if(reason STREQUAL "")
    # Debian's policy.xml refuses pictures over 16000 pixels wide or high
    # and says only "no images defined".
    message(FATAL_ERROR "tafelix: ${PICTURE}: ImageMagick read no ${kind_name} picture from it and "
      "gave no reason; its policy.xml may refuse the picture's size (Debian's refuses more than "
      "16000 pixels wide or high)")
  endif()
  message(FATAL_ERROR "tafelix: ${PICTURE}: ImageMagick cannot read it as a ${kind_name} picture: ${reason}")
endfunction()

# The little-endian number of `size` bytes at `offset` of the header.
function(_tafelix_field offset size out)
  set(number "")
  math(EXPR last "${offset} + ${size} - 1")
  foreach(at RANGE ${last} ${offset} -1)
    math(EXPR at "2 * ${at}")
    string(SUBSTRING "${head}" ${at} 2 byte)
    string(APPEND number "${byte}")
  endforeach()
  math(EXPR number "0x${number}")
  set(${out} ${number} PARENT_SCOPE)
endfunction()

# By hand (see above), what tafelix_add_bitmap() passes is found here.
if(NOT KIND)
  include("${CMAKE_CURRENT_LIST_DIR}/tafelix-add-bitmap.cmake")
  _tafelix_kind("${PICTURE}" KIND)
  if(NOT KIND)
    message(FATAL_ERROR "tafelix: ${PICTURE}: ${_tafelix_kinds}")
  endif()
  _tafelix_find_magick(MAGICK)
endif()
if(NOT BACKGROUND)
  set(BACKGROUND FFFFFF)
endif()

# A BMP goes to tafelix as it is when its header is damaged (too short, not
# "BM", or a bit count or compression no BMP has; for OS/2's 12-byte header
# they are elsewhere), or when it is uncompressed 24-bit.
set(bitmap "${PICTURE}")
set(picture_way ON)
if(KIND STREQUAL "bmp")
  file(READ "${PICTURE}" head LIMIT 34 HEX)
  string(LENGTH "${head}" length)
  if(NOT head MATCHES "^424d" OR length LESS 68)
    set(picture_way OFF)
  else()
    _tafelix_field(14 4 header_size)
    _tafelix_field(28 2 bits)
    _tafelix_field(30 4 compression)
    if(bits EQUAL 24 AND compression EQUAL 0 OR NOT header_size EQUAL 12 AND
       (NOT bits MATCHES "^(1|2|4|8|16|24|32)$" OR compression GREATER 6))
      set(picture_way OFF)
    endif()
  endif()
endif()
file(REMOVE "${BITMAP}")
if(picture_way)
  string(TOUPPER "${KIND}" kind_name)
  if(KIND STREQUAL "webp")
    set(kind_name "WebP")
  endif()
  if(NOT EXISTS "${MAGICK}")
    message(FATAL_ERROR "tafelix: ${PICTURE} is no 24-bit BMP; ImageMagick converts it, and "
      "ImageMagick was not found (TAFELIX_MAGICK is '${MAGICK}'): install it, or set "
      "TAFELIX_MAGICK to its magick or convert program")
  endif()

  # The size from the header alone, before anything is decoded: a GIF's
  # logical screen, the image of the others.
  execute_process(COMMAND "${MAGICK}" -ping "${KIND}:-[0]" -format "%w %h %W %H" info:
    INPUT_FILE "${PICTURE}" RESULT_VARIABLE status OUTPUT_VARIABLE size ERROR_VARIABLE err)
  _tafelix_magick_done("${status}" "${err}")
  if(NOT size MATCHES "^([0-9]+) ([0-9]+) ([0-9]+) ([0-9]+)$")
    message(FATAL_ERROR "tafelix: ${PICTURE}: ImageMagick gave no size for it: ${size}")
  endif()
  set(width ${CMAKE_MATCH_1})
  set(height ${CMAKE_MATCH_2})
  if(KIND STREQUAL "gif")
    set(width ${CMAKE_MATCH_3})
    set(height ${CMAKE_MATCH_4})
  endif()
  math(EXPR pixels "${width} * ${height}")
  if(pixels GREATER 67108864)
    message(FATAL_ERROR "tafelix: ${PICTURE} is ${width} x ${height} pixels, more than tafelix "
      "takes (8192 x 8192 = 67108864)")
  endif()
  # Wider or higher, refused as the page refuses it, whatever ImageMagick
  # allows. (Debian's ImageMagick refuses it at the ping already,
  # without a word: see above.)
  if(width GREATER 16000 OR height GREATER 16000)
    message(FATAL_ERROR "tafelix: ${PICTURE} is ${width} x ${height} pixels, more than tafelix "
      "takes (at most 16000 pixels a side)")
  endif()

  # Step 1 writes 8-bit RGBA (its PNG writer rounds 16-bit samples; -depth 8
  # would cut them); -alpha set makes a picture without alpha opaque,
  # whatever its coder kept there (a 32-bit BMP's unused fourth byte). Step
  # 2 blends it over the background; with -wt a fully transparent pixel
  # becomes white instead: made opaque white before the blend, in place,
  # since a second picture of 8192 x 8192 would overrun the memory Debian's
  # policy.xml grants. A CMYK JPEG's channels are (255-C)*(255-K)/255
  # cut to whole numbers by -depth 8, as browsers make them; other JPEGs
  # hold 8-bit values already.
  set(decode -set colorspace sRGB)
  if(KIND STREQUAL "jpeg")
    set(decode -auto-orient -colorspace sRGB -depth 8)
  elseif(KIND STREQUAL "gif")
    set(decode -background none -flatten)
  endif()
  set(blend -background "#${BACKGROUND}" -alpha remove)
  if(SWITCH STREQUAL "-wt")
    set(blend -background white -alpha background -channel RGBA -fill white
      -opaque "rgba(255,255,255,0)" +channel ${blend})
  endif()
  execute_process(COMMAND "${MAGICK}" -regard-warnings "${KIND}:-[0]" ${decode} -alpha set +repage PNG32:-
    INPUT_FILE "${PICTURE}" OUTPUT_FILE "${BITMAP}.png" RESULT_VARIABLE status ERROR_VARIABLE err)
  _tafelix_magick_done("${status}" "${err}")
  execute_process(COMMAND "${MAGICK}" -regard-warnings png:- -set colorspace sRGB ${blend}
      -alpha off -type truecolor bmp3:-
    INPUT_FILE "${BITMAP}.png" OUTPUT_FILE "${BITMAP}" RESULT_VARIABLE status ERROR_VARIABLE err)
  file(REMOVE "${BITMAP}.png")
  _tafelix_magick_done("${status}" "${err}")
  set(bitmap "${BITMAP}")
endif()

if(NOT TAFELIX)
  if(NOT picture_way)
    file(COPY_FILE "${PICTURE}" "${BITMAP}")
  endif()
  return()
endif()

# tafelix's own messages go to the build's output; a name starting with -
# is no switch to it.
if(bitmap MATCHES "^-")
  set(bitmap "./${bitmap}")
endif()
execute_process(COMMAND "${TAFELIX}" "${bitmap}" "${HEADER}.part" "${NAME}" ${SWITCH}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${HEADER}.part")
  message(FATAL_ERROR "tafelix: ${PICTURE}: tafelix rejected ${bitmap} (status ${status})")
endif()
if(SIZE_HEADER)
  set(OUT "${SIZE_HEADER}")
  set(BITMAP "${bitmap}")
  include("${CMAKE_CURRENT_LIST_DIR}/tafelix-size.cmake")
endif()
file(RENAME "${HEADER}.part" "${HEADER}")
