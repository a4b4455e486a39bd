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
    # ImageMagick says only "no images defined" of some damaged pictures,
    # and of those its policy.xml refuses (Debian's: over 16000 pixels wide
    # or high, which the size from the header catches first).
    message(FATAL_ERROR "tafelix: ${PICTURE}: ImageMagick read no ${kind_name} picture from it and "
      "gave no reason: it is damaged, or ImageMagick's policy.xml refuses it")
  endif()
  message(FATAL_ERROR "tafelix: ${PICTURE}: ImageMagick cannot read it as a ${kind_name} picture: ${reason}")
endfunction()

# The little-endian number of `size` bytes at `offset` of the file.
function(_tafelix_number_at offset size out)
  file(READ "${PICTURE}" bytes OFFSET ${offset} LIMIT ${size} HEX)
  string(LENGTH "${bytes}" length)
  math(EXPR want "2 * ${size}")
  if(NOT length EQUAL want)
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  set(number "")
  math(EXPR last "${size} - 1")
  foreach(i RANGE ${last})
    math(EXPR at "2 * ${i}")
    string(SUBSTRING "${bytes}" ${at} 2 byte)
    string(PREPEND number "${byte}")
  endforeach()
  math(EXPR number "0x${number}")
  set(${out} ${number} PARENT_SCOPE)
endfunction()

# The picture's size read from its header as the page reads it (a GIF's
# logical screen, a JPEG's first frame header), into width and height; both
# empty when the header gives none. Read before ImageMagick sees the
# picture, so that a picture over the limits is refused naming its size,
# also where ImageMagick would refuse it without a word.
function(_tafelix_header_size)
  set(width "")
  set(height "")
  file(READ "${PICTURE}" head LIMIT 30 HEX)
  if(KIND STREQUAL "png" AND head MATCHES "^89504e470d0a1a0a0000000d49484452(........)(........)")
    math(EXPR width "0x${CMAKE_MATCH_1}")
    math(EXPR height "0x${CMAKE_MATCH_2}")
  elseif(KIND STREQUAL "gif" AND head MATCHES "^474946383[79]61(..)(..)(..)(..)")
    math(EXPR width "0x${CMAKE_MATCH_2}${CMAKE_MATCH_1}")
    math(EXPR height "0x${CMAKE_MATCH_4}${CMAKE_MATCH_3}")
  elseif(KIND STREQUAL "bmp" AND head MATCHES "^424d")
    _tafelix_number_at(14 4 header_size)
    if(header_size EQUAL 12)
      _tafelix_number_at(18 2 width)
      _tafelix_number_at(20 2 height)
    else()
      _tafelix_number_at(18 4 width)
      _tafelix_number_at(22 4 height)
      if(height GREATER_EQUAL 2147483648)
        math(EXPR height "4294967296 - ${height}")
      endif()
      if(width GREATER_EQUAL 2147483648)
        set(width "")
      endif()
    endif()
  elseif(KIND STREQUAL "webp" AND head MATCHES "^52494646........574542505650384c(........)(..)(........)")
    # VP8L: a signature byte, then 14 bits each of width - 1 and height - 1.
    if(CMAKE_MATCH_2 STREQUAL "2f")
      _tafelix_number_at(21 4 bits)
      math(EXPR width "(${bits} & 0x3fff) + 1")
      math(EXPR height "((${bits} >> 14) & 0x3fff) + 1")
    endif()
  elseif(KIND STREQUAL "webp" AND head MATCHES "^52494646........5745425056503858")
    # VP8X: the canvas, 24 bits each of width - 1 and height - 1.
    _tafelix_number_at(24 3 width)
    _tafelix_number_at(27 3 height)
    if(NOT height STREQUAL "")
      math(EXPR width "${width} + 1")
      math(EXPR height "${height} + 1")
    endif()
  elseif(KIND STREQUAL "webp" AND head MATCHES "^52494646........5745425056503820..............9d012a")
    # VP8: after the frame tag and start code, 14 bits each of width, height.
    _tafelix_number_at(26 2 width)
    _tafelix_number_at(28 2 height)
    if(NOT height STREQUAL "")
      math(EXPR width "${width} & 0x3fff")
      math(EXPR height "${height} & 0x3fff")
    endif()
  elseif(KIND STREQUAL "jpeg" AND head MATCHES "^ffd8")
    # The segments up to the first frame header (SOF0 to SOF15, not DHT,
    # JPG or DAC); fill bytes and markers without a length stepped over.
    set(at 2)
    set(walking ON)
    while(walking)
      file(READ "${PICTURE}" segment OFFSET ${at} LIMIT 9 HEX)
      if(NOT segment MATCHES "^ff(..)")
        break()
      endif()
      set(marker ${CMAKE_MATCH_1})
      if(marker STREQUAL "ff")
        math(EXPR at "${at} + 1")
      elseif(marker MATCHES "^(01|d[0-7])$")
        math(EXPR at "${at} + 2")
      elseif(marker MATCHES "^(d9|da)$" OR NOT segment MATCHES "^ff......")
        break()
      elseif(marker MATCHES "^c[0-35-79abd-f]$")
        if(segment MATCHES "^ff........(....)(....)$")
          math(EXPR height "0x${CMAKE_MATCH_1}")
          math(EXPR width "0x${CMAKE_MATCH_2}")
        endif()
        break()
      else()
        string(SUBSTRING "${segment}" 4 4 length)
        math(EXPR at "${at} + 2 + 0x${length}")
      endif()
    endwhile()
  endif()
  set(width "${width}" PARENT_SCOPE)
  set(height "${height}" PARENT_SCOPE)
endfunction()

# Fails, naming the picture's size, when it is over tafelix's limits:
# 8192 x 8192 pixels, and 16000 a side (what Debian's ImageMagick takes;
# the page refuses the same).
function(_tafelix_limits width height)
  math(EXPR pixels "${width} * ${height}")
  if(pixels GREATER 67108864)
    message(FATAL_ERROR "tafelix: ${PICTURE} is ${width} x ${height} pixels, more than tafelix "
      "takes (8192 x 8192 = 67108864)")
  endif()
  if(width GREATER 16000 OR height GREATER 16000)
    message(FATAL_ERROR "tafelix: ${PICTURE} is ${width} x ${height} pixels, more than tafelix "
      "takes (at most 16000 pixels a side)")
  endif()
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
# "BM", or a bit count or compression no BMP has), or when it is
# uncompressed 24-bit. OS/2's 12-byte header keeps those fields elsewhere,
# where tafelix does not read them: such a BMP is always decoded.
set(bitmap "${PICTURE}")
set(picture_way ON)
if(KIND STREQUAL "bmp")
  file(READ "${PICTURE}" head LIMIT 34 HEX)
  string(LENGTH "${head}" length)
  if(NOT head MATCHES "^424d" OR length LESS 68)
    set(picture_way OFF)
  else()
    _tafelix_number_at(14 4 header_size)
    _tafelix_number_at(28 2 bits)
    _tafelix_number_at(30 4 compression)
    if(NOT header_size EQUAL 12 AND (bits EQUAL 24 AND compression EQUAL 0 OR
       NOT bits MATCHES "^(1|2|4|8|16|24|32)$" OR compression GREATER 6))
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

  _tafelix_header_size()
  if(NOT height STREQUAL "")
    _tafelix_limits(${width} ${height})
  endif()
  # ImageMagick's size from the header alone, before anything is decoded: a
  # GIF's logical screen, the image of the others.
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
  _tafelix_limits(${width} ${height})

  # Step 1 writes 8-bit RGBA (its PNG writer rounds 16-bit samples; -depth 8
  # would cut them); -alpha set makes a picture without alpha opaque,
  # whatever its coder kept there (a 32-bit BMP's unused fourth byte). Step
  # 2 blends it over the background; with -wt a fully transparent pixel
  # becomes white instead: made opaque white before the blend, in place,
  # since a second picture of 8192 x 8192 would overrun the memory Debian's
  # policy.xml grants. A CMYK JPEG's channels are (255-C)*(255-K)/255
  # cut to whole numbers by -depth 8, as browsers make them; other JPEGs
  # hold 8-bit values already. Step 1's PNG is read straight back, so it is
  # written uncompressed: compressing it took most of the time, and the
  # pixels are the same.
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
  execute_process(COMMAND "${MAGICK}" -regard-warnings "${KIND}:-[0]" ${decode} -alpha set +repage
      -define png:compression-level=0 PNG32:-
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
