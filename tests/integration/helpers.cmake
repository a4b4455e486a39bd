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
# > (a shell would run PWNED), C keywords in another case or as part. Later: see expect_pictures.
set(picture_rows
  "x'&>PWNED&'.png|alpha|-wt|-size 7x5 xc:none -fill #20408080 -draw 'rectangle 1,1 5,3' -fill #a03010 -draw 'point 3,2' PNG32:@|1|25:06"
  "anim.gif|typeof_|-wt|-size 4x3 xc:none -fill #c03010 -draw 'rectangle 0,0 2,1' -size 4x3 xc:#1030c0|2|0:474946"
  "photo.jpg|Int||-size 8x6 gradient:#204080-#c0a060 -quality 85|1|0:ffd8ff"
  "grey.png|grey||-size 6x4 gradient:#204080-#c0a060 -colorspace gray -depth 8 -define png:color-type=0|1|24:08 25:00"
  "palette.png|palette||-size 5x3 gradient:#204080-#c0a060 PNG8:@|1|25:03"
  "deep.png|deep||-size 3x7 gradient:#204080-#c0a060 -depth 16 PNG48:@|1|24:10"
  "interlaced.png|interlaced||-size 9x2 gradient:#204080-#c0a060 -depth 8 -interlace PNG|1|28:01"
  "linear.png|linear||-size 6x5 gradient:#204080-#c0a060 -depth 8 -set gamma 1.0|1|37:67414d41000186a0"
  "svg.png|svg||'<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"4\" height=\"4\"><image xlink:href=\"@ART@/palette.png\" width=\"4\" height=\"4\"/></svg>|||fail svg.png: ImageMagick cannot read it as a PNG picture: improper image header"
  "html.jpg|html||'<html><body>page</body></html>|||fail html.jpg: ImageMagick cannot read it as a JPEG picture: insufficient image data"
  "graph.gif|graph||'digraph { a -> b }|||fail graph.gif: ImageMagick cannot read it as a GIF picture: improper image header"
  "cgm.webp|cgm||'BEGMF \"x\"@S@|||fail cgm.webp: ImageMagick cannot read it as a WebP picture: insufficient image data"
  "hpgl.png|hpgl||'IN@S@SP1@S@PU0,0@S@PD9,9@S@|||fail hpgl.png: ImageMagick cannot read it as a PNG picture: improper image header"
  "ilbm.dib|ilbm||'FORM0000ILBMBMHD, more than 34 bytes in all|||fail typ falsch"
  "cut.jpeg|cut||-size 64x64 xc: +noise Random -quality 90 && py cut|||fail cut.jpeg: ImageMagick cannot read it as a JPEG picture: Premature end of JPEG file"
  "bomb.png|bomb||py big 100000 100000|||fail bomb.png is 100000 x 100000 pixels, more than tafelix takes [(]8192 x 8192 = 67108864[)]"
  "strip.png|strip||py big 16001 8|||fail strip.png is 16001 x 8 pixels, more than tafelix takes [(]at most 16000 pixels a side[)]"
  "thin.webp|thin||py vp8x 16001 1|||fail thin.webp is 16001 x 1 pixels, more than tafelix takes [(]at most 16000 pixels a side[)]"
  "cmyk.jpeg|cmyk||-size 8x6 xc:#204080 -colorspace cmyk -quality 95|||probe 8 6 6 0,0=204080ff 7,5=204080ff"
  "turned.JPG|turned||-size 16x8 xc:#ff0000 -fill #0000ff -draw 'rectangle 8,0 15,7' -quality 95 && py exif6|||probe 8 16 40 0,1=ff0000ff 7,6=ff0000ff 0,8=0000ffff 7,15=0000ffff"
  "offset.gif|offset|204080|-size 20x10 xc:#c03010 -page 48x32+5+5|||probe 48 32 0 0,0=00000000 5,5=c03010ff 24,14=c03010ff 25,15=00000000 4,4=00000000"
  "-levels.png|levels|-wt 000000|py rgba8 32 16 1|||rgba8 32 16 1"
  "@deep16.png|deep16|123456|py rgba16 32 16 2|||rgba16 32 16 2"
  "frame%d[0].png|frame|-wt FF00FF|py rgba8 32 16 3|||rgba8 32 16 3"
  "rgb32.dib|rgb32||=tests/data/bmpsuite/g/rgb32.bmp|||probe 127 64 0 0,0=ff0000ff 126,0=9f9fbdff 100,10=959599ff"
  "deep.BMP|deep_bmp|-wt 204080|-size 2x2 xc:#ff000080 BMP:@|||probe 2 2 0 0,0=ff000080 1,1=ff000080"
  "pal8.bmp|pal8||-size 6x4 xc:#204080 -fill #c03010 -draw 'rectangle 0,0 2,1' -type palette BMP3:@|||probe 6 4 0 0,0=c03010ff 2,1=c03010ff 5,3=204080ff"
  "os2.bmp|os2||-size 3x2 xc:#204080 -fill #180000 -draw 'point 0,1' -fill #000000 -draw 'point 1,1' -fill #c00000 -draw 'point 2,1' BMP2:@|||probe 3 2 0 0,0=204080ff 0,1=180000ff 1,1=000000ff 2,1=c00000ff"
  "rle8.bmp|rle8||-size 6x4 xc:#204080 -fill #c03010 -draw 'rectangle 0,0 2,1' -type palette -compress RLE BMP3:@|||probe 6 4 0 0,0=c03010ff 3,1=204080ff 5,3=204080ff"
  "lossless.webp|lossless||-size 5x3 xc:#204080 -define webp:lossless=true|||probe 5 3 0 4,2=204080ff")
# What ImageMagick makes of them for tafelix.
set(magick_recipe -set colorspace sRGB -background white -alpha remove -alpha off -type truecolor)

# Splits a row of picture_rows into the variables file, array, switch, draw,
# frames, kind, background and want.
macro(picture_row row)
  string(REGEX MATCH "^([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)\\|([^|]*)\\|?(.*)$" _ "${row}")
  set(want "${CMAKE_MATCH_7}")
  set(file "${CMAKE_MATCH_1}")
  set(array "${CMAKE_MATCH_2}")
  set(switch "${CMAKE_MATCH_3}")
  set(draw "${CMAKE_MATCH_4}")
  set(frames "${CMAKE_MATCH_5}")
  set(kind "${CMAKE_MATCH_6}")
  string(REPLACE " " ";" kind "${kind}")
  string(REGEX REPLACE "^-wt ?" "" background "${switch}")
  string(REGEX REPLACE " ?[0-9A-F]+$" "" switch "${switch}")
endmacro()

# `oracle write <file> cut|exif6|rgba8|rgba16|big|vp8x <w> <h> <seed>` halves a file, sets EXIF 6, writes random RGBA (every
# alpha) or black PNGs; `oracle check <header> bg=RRGGBB wt=[-wt] <those, or probe <w> <h> <tolerance> x,y=RRGGBBAA...>`.
need_program(PYTHON python3)
set(oracle [=[
import random, re, struct, sys, zlib
mode, f, what, *n = sys.argv[1:]
kind, n = (what, n) if mode == 'write' else (n[1], n[2:])
n, peak = [int(v) for v in n[:3]] + n[3:], 65535 if kind == 'rgba16' else 255
r = random.Random(str(n))
px = [[r.randint(0, peak) for _ in 'rgb'] + [i // 2 * peak // 255 if i % 2 == 0 else r.randint(0, peak)]
      for i in range(n[0] * n[1] if kind[:4] == 'rgba' else 0)]
if mode == 'write':
    data = open(f, 'rb').read() if kind in ('cut', 'exif6') else b''
    data = data[:len(data) // 2] if kind == 'cut' else data[:2] + b'\xff\xe1\0\x22Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0' + data[2:]
    if kind == 'vp8x': n, data = [], b'RIFF\x16\0\0\0WEBPVP8X\x0a\0\0\0\x10\0\0\0' + (n[0] - 1).to_bytes(3, 'little') + (n[1] - 1).to_bytes(3, 'little')
    if n:
        rows = [] if n[0] * n[1] > 1 << 26 else [struct.pack('>%d%s' % (4 * n[0], 'BH'[peak > 255]), *sum(px[n[0] * y:n[0] * (y + 1)], [])) if px else bytes(4 * n[0]) for y in range(n[1])]
        chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
        data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', n[0], n[1], 8 + 8 * (peak > 255), 6, 0, 0, 0)) + chunk(
            b'IDAT', zlib.compress(b''.join(b'\0' + row for row in rows))) + chunk(b'IEND', b'')
    open(f, 'wb').write(data); sys.exit()
bg, wt = int(what[3:] or 'FFFFFF', 16), sys.argv[4] == 'wt=-wt'
def pixel(c):
    v = sum((c[i] * c[3] + (bg >> 16 - 8 * i & 255) * (255 - c[3]) + 127) // 255 << 16 - 8 * i for i in range(3))
    return -1 if wt and (c[3] == 0 or v == 0xFFFFFF) else v
have = [int(v) for v in re.findall(r'-?\d+', open(f).read().split('{')[1])]
want = [pixel([(v * 255 + peak // 2) // peak for v in p]) for p in px] or [None] * n[0] * n[1]
for x, y, c in re.findall(r'(\d+),(\d+)=(\w+)', ' '.join(n[3:])):
    want[int(y) * n[0] + int(x)] = pixel(bytes.fromhex(c))
assert len(have) == len(want), '%s: have %d values, want %d' % (f, len(have), len(want))
for i, v in enumerate(want):
    if v is not None and have[i] != v and (px or not n[2] or max(abs((have[i] >> s & 255) - (v >> s & 255)) for s in (0, 8, 16)) > n[2]):
        sys.exit('%s: value %d: have %06x, want %06x' % (f, i, have[i] % 2 ** 24, v % 2 ** 24))
]=])

# Draws the pictures of picture_rows into `dir` with ImageMagick `magick`
# and fails unless each is of its kind. In a text, @ART@ is `dir`, @S@ is ;.
function(draw_pictures magick dir)
  string(REPLACE "&" "&amp;" art "${dir}")
  foreach(row IN LISTS picture_rows)
    picture_row("${row}")
    string(REPLACE " && " ";" steps "${draw}")
    foreach(draw IN LISTS steps)
      string(REPLACE "@ART@" "${art}" text "${draw}")
      if(text MATCHES "^'(.*)")
        string(REPLACE "@S@" ";" text "${CMAKE_MATCH_1}")
        file(WRITE "${dir}/${file}" "${text}")
      elseif(draw MATCHES "^=(.*)")
        file(COPY_FILE "${SOURCE_DIR}/${CMAKE_MATCH_1}" "${dir}/${file}")
      elseif(draw MATCHES "^py (.*)")
        separate_arguments(draw UNIX_COMMAND "${CMAKE_MATCH_1}")
        run_checked("write ${file}" COMMAND "${PYTHON}" -c "${oracle}" write "${dir}/${file}" ${draw})
      else()
        if(NOT draw MATCHES "@")
          string(APPEND draw " @")
        endif()
        separate_arguments(draw UNIX_COMMAND "${draw}")
        list(TRANSFORM draw REPLACE "@" "${file}")
        run_checked("draw ${file}" COMMAND "${magick}" ${draw} WORKING_DIRECTORY "${dir}")
      endif()
    endforeach()
    if(NOT kind)
      continue()
    endif()
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

# expect_picture_header (or the want: an oracle check, or "fail <regex>" in the log `refused`) for every
# picture of picture_rows (switch: -wt RRGGBB; draw: 'text, =file, py <oracle write> or ImageMagick, steps
# split by &&), drawn in `art`, header in `headers`; and no PWNED in ${WORK} (a name run), nor ran.log.
function(expect_pictures magick tafelix art headers sizes refused)
  string(REGEX REPLACE "[ \t\r\n]+" " " refused "${refused}")
  foreach(row IN LISTS picture_rows)
    picture_row("${row}")
    string(REGEX REPLACE "^fail " "" failure "${want}")
    if(NOT failure STREQUAL want)
      if(NOT refused MATCHES "${failure}" OR EXISTS "${headers}/${array}.h" OR EXISTS "${headers}/../picturesfail/${array}.h")
        message(FATAL_ERROR "${file}: want a failure saying '${failure}' and no header\n${refused}")
      endif()
    elseif(want)
      separate_arguments(want UNIX_COMMAND "${want}")
      run_checked("${file}" COMMAND "${PYTHON}" -c "${oracle}" check "${headers}/${array}.h" "bg=${background}"
        "wt=${switch}" ${want})
    else()
      expect_picture_header("${magick}" "${tafelix}" "${art}/${file}" ${array} "${switch}"
        "${headers}/${array}.h" "${sizes}")
    endif()
  endforeach()
  file(GLOB_RECURSE ran "${WORK}/*")
  list(FILTER ran INCLUDE REGEX "/PWNED$|/ran.log$")
  if(ran)
    message(FATAL_ERROR "a picture's name or content ran a command: ${ran}")
  endif()
endfunction()

# Stand-ins first on PATH for dot and the programs of ImageMagick's delegates.xml.
function(stand_ins)
  foreach(program IN ITEMS html2ps dot uniconvertor hp2xx ilbmtoppm gs rsvg-convert inkscape curl wget bpgdec blender
      dwebp cwebp JxrDecApp lepton libreoffice ufraw-batch dvips pcl6 gxps potrace ffmpeg xdg-open display gimp lpr)
    file(CONFIGURE OUTPUT "${WORK}/stand-ins/${program}" CONTENT "#!/bin/sh\necho \"$0 $*\" >>'${WORK}/ran.log'\n")
  endforeach()
  execute_process(COMMAND chmod -R +x "${WORK}/stand-ins")
  set(ENV{PATH} "${WORK}/stand-ins:$ENV{PATH}")
endfunction()

# A C source that prints "<array> <width> <height> <count>" for each picture
# of picture_rows, from its size header and the array itself.
function(picture_program out)
  set(includes "#include <stdio.h>\n")
  set(prints "")
  foreach(row IN LISTS picture_rows)
    picture_row("${row}")
    if(want MATCHES "^fail")
      continue()
    endif()
    string(TOUPPER "${array}" upper)
    string(APPEND includes "#include \"${array}.h\"\n#include \"${array}_size.h\"\n")
    string(APPEND prints "    printf(\"${array} %d %d %d\\n\", ${upper}_WIDTH, ${upper}_HEIGHT, "
                         "(int)(sizeof ${array} / sizeof ${array}[0]));\n")
  endforeach()
  file(WRITE "${out}" "${includes}int main(void)\n{\n${prints}    return 0;\n}\n")
endfunction()
