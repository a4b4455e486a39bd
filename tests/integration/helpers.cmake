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

# The version that project() in SOURCE_DIR's CMakeLists.txt gives, the one
# place that states it, into `out_var`.
function(tafelix_version out_var)
  file(STRINGS "${SOURCE_DIR}/CMakeLists.txt" line REGEX "^project\\(tafelix VERSION")
  string(REGEX REPLACE ".* VERSION ([0-9.]+).*" "\\1" version "${line}")
  set(${out_var} "${version}" PARENT_SCOPE)
endfunction()

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

# The pictures of every kind that the integrations make into bitmaps with
# ImageMagick: file|array name|tafelix switch|ImageMagick's arguments that
# draw it|frames|the bytes that say it is of its kind, as offset:hex (PNG: bit
# depth at byte 24, colour type at 25, interlace at 28, a gAMA chunk of 1.0
# at 37). The names hold a quote, & and
# > (a shell would run PWNED), C keywords in another case or as part.
set(picture_rows
  "x'&>PWNED&'.png|alpha|-wt|-size 7x5 xc:none -fill #20408080 -draw 'rectangle 1,1 5,3' -fill #a03010 -draw 'point 3,2' PNG32:@|1|25:06"
  "anim.gif|typeof_|-wt|-size 4x3 xc:none -fill #c03010 -draw 'rectangle 0,0 2,1' -size 4x3 xc:#1030c0|2|0:474946"
  "photo.jpg|Int||-size 8x6 gradient:#204080-#c0a060 -quality 85|1|0:ffd8ff"
  "grey.png|grey||-size 6x4 gradient:#204080-#c0a060 -colorspace gray -depth 8 -define png:color-type=0|1|24:08 25:00"
  "palette.png|palette||-size 5x3 gradient:#204080-#c0a060 PNG8:@|1|25:03"
  "deep.png|deep||-size 3x7 gradient:#204080-#c0a060 -depth 16 PNG48:@|1|24:10"
  "interlaced.png|interlaced||-size 9x2 gradient:#204080-#c0a060 -depth 8 -interlace PNG|1|28:01"
  "linear.png|linear||-size 6x5 gradient:#204080-#c0a060 -depth 8 -set gamma 1.0|1|37:67414d41000186a0")
# What ImageMagick makes of them for tafelix.
set(magick_recipe -set colorspace sRGB -background white -alpha remove -alpha off -type truecolor)

# Splits a row of picture_rows into the variables file, array, switch, draw,
# frames and kind.
macro(picture_row row)
  string(REGEX MATCH "^([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)$" _ "${row}")
  set(file "${CMAKE_MATCH_1}")
  set(array "${CMAKE_MATCH_2}")
  set(switch "${CMAKE_MATCH_3}")
  set(draw "${CMAKE_MATCH_4}")
  set(frames "${CMAKE_MATCH_5}")
  set(kind "${CMAKE_MATCH_6}")
  string(REPLACE " " ";" kind "${kind}")
endmacro()

# Draws the pictures of picture_rows into `dir` with ImageMagick `magick`
# and fails unless each is of its kind.
function(draw_pictures magick dir)
  foreach(row IN LISTS picture_rows)
    picture_row("${row}")
    if(NOT draw MATCHES "@")
      string(APPEND draw " @")
    endif()
    separate_arguments(draw UNIX_COMMAND "${draw}")
    list(TRANSFORM draw REPLACE "@" "${file}")
    run_checked("draw ${file}" COMMAND "${magick}" ${draw} WORKING_DIRECTORY "${dir}")
    file(READ "${dir}/${file}" head LIMIT 48 HEX)
    set(have_kind "")
    foreach(field IN LISTS kind)
      string(REGEX MATCH "^[0-9]+" offset "${field}")
      string(REGEX REPLACE "^[0-9]+:" "" bytes "${field}")
      math(EXPR at "2 * ${offset}")
      string(LENGTH "${bytes}" length)
      string(SUBSTRING "${head}" ${at} ${length} have)
      list(APPEND have_kind "${offset}:${have}")
    endforeach()
    run_checked("frames of ${file}" COMMAND "${magick}" "${dir}/${file}" -format "%n\n" info:
      OUTPUT_VARIABLE have_frames)
    if(NOT have_kind STREQUAL kind OR NOT have_frames MATCHES "^${frames}\n")
      message(FATAL_ERROR "${file} is not of its kind (${kind}, ${frames} frames): ${head}\n${have_frames}")
    endif()
  endforeach()
  # With gAMA 1.0, ImageMagick 6 converts the values unless told they are
  # sRGB: the row must be able to tell the recipe from one without it.
  run_checked("linear.png as linear light" COMMAND "${magick}" "linear.png[0]" -background white
    -alpha remove -alpha off -type truecolor bmp3:linear-converted.bmp WORKING_DIRECTORY "${dir}")
  run_checked("linear.png as stored" COMMAND "${magick}" "linear.png[0]" ${magick_recipe}
    bmp3:linear-stored.bmp WORKING_DIRECTORY "${dir}")
  file(SHA256 "${dir}/linear-converted.bmp" converted)
  file(SHA256 "${dir}/linear-stored.bmp" stored)
  if(converted STREQUAL stored)
    message(FATAL_ERROR "linear.png: ImageMagick gives the same bitmap with and without -set colorspace sRGB")
  endif()
endfunction()

# Fails unless `header` is what `tafelix` gives for ImageMagick's own bitmap
# of the picture's first frame, made with magick_recipe, and unless `sizes`
# (the program's output) holds the line "<array> <width> <height> <count>",
# the width and height as ImageMagick reports them. Scratch files go to
# ${WORK}/want.
function(expect_picture_header magick tafelix picture array switch header sizes)
  set(scratch "${WORK}/want")
  file(MAKE_DIRECTORY "${scratch}")
  run_checked("ImageMagick's bitmap of ${picture}" COMMAND "${magick}" "${picture}[0]" ${magick_recipe}
    "bmp3:${scratch}/${array}-want.bmp")
  run_checked("tafelix on ImageMagick's bitmap of ${picture}" COMMAND "${tafelix}"
    "${scratch}/${array}-want.bmp" "${scratch}/${array}-want.txt" ${array} ${switch})
  file(READ "${scratch}/${array}-want.txt" want)
  file(READ "${header}" have)
  if(NOT have STREQUAL want)
    message(FATAL_ERROR "${header} is not what tafelix gives for ImageMagick's bitmap of ${picture}:\n"
                        "have\n${have}\nwant\n${want}")
  endif()
  if(switch STREQUAL "-wt" AND NOT want MATCHES "[{,\n]-1,.*[{,\n][1-9][0-9]*,")
    message(FATAL_ERROR "${picture}: want both transparent and other pixels\n${want}")
  endif()
  run_checked("size of ${picture}" COMMAND "${magick}" "${picture}[0]" -format "%w %h" info:
    OUTPUT_VARIABLE size)
  string(REPLACE " " ";" size "${size}")
  list(GET size 0 width)
  list(GET size 1 height)
  math(EXPR count "${width} * ${height}")
  if(NOT sizes MATCHES "(^|\n)${array} ${width} ${height} ${count}\n")
    message(FATAL_ERROR "${picture}: want the line '${array} ${width} ${height} ${count}' in\n${sizes}")
  endif()
endfunction()

# expect_picture_header for every picture of picture_rows, drawn in `art`,
# its header in `headers`; and no file PWNED anywhere in ${WORK}, which a
# name run by a shell would have made.
function(expect_pictures magick tafelix art headers sizes)
  foreach(row IN LISTS picture_rows)
    picture_row("${row}")
    expect_picture_header("${magick}" "${tafelix}" "${art}/${file}" ${array} "${switch}"
      "${headers}/${array}.h" "${sizes}")
  endforeach()
  file(GLOB_RECURSE ran "${WORK}/*")
  list(FILTER ran INCLUDE REGEX "/PWNED$")
  if(ran)
    message(FATAL_ERROR "a picture's name ran a command: ${ran}")
  endif()
endfunction()

# A C source that prints "<array> <width> <height> <count>" for each picture
# of picture_rows, from its size header and the array itself.
function(picture_program out)
  set(includes "#include <stdio.h>\n")
  set(prints "")
  foreach(row IN LISTS picture_rows)
    picture_row("${row}")
    string(TOUPPER "${array}" upper)
    string(APPEND includes "#include \"${array}.h\"\n#include \"${array}_size.h\"\n")
    string(APPEND prints "    printf(\"${array} %d %d %d\\n\", ${upper}_WIDTH, ${upper}_HEIGHT, "
                         "(int)(sizeof ${array} / sizeof ${array}[0]));\n")
  endforeach()
  file(WRITE "${out}" "${includes}int main(void)\n{\n${prints}    return 0;\n}\n")
endfunction()
