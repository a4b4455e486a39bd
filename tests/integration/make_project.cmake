# A small GNU make project on tafelix.mk: the installed one, which runs the
# tafelix beside it, and the source tree's, which finds tafelix on PATH.
# Checks values and sizes with and without -wt over several bitmaps under
# make -j4, without ImageMagick; that the size headers have the bytes
# tafelix-size.cmake writes; make -q after a build and after touching a
# bitmap (only its headers are made again); a redrawn size; a rejected bitmap
# fails twice in a row and leaves no header behind. Then pictures of every
# kind through ImageMagick, one named so that a shell would run a command; a
# picture without ImageMagick; calls and $(wildcard)
# names refused when the Makefile is read.
#
#   -DPREFIX=  the installed tafelix    -DSOURCE_DIR=  the source tree
#   -DTAFELIX_DIR=  the folder of the built tafelix
#   -DWRITE_BITMAP=  the bitmap writer  -DWORK=  a scratch folder
#   -DC_COMPILER=  for the project
include("${CMAKE_CURRENT_LIST_DIR}/helpers.cmake")
need_program(GNU_MAKE gmake make)
need_program(MAGICK magick convert)

# The C keywords stand in one line, the same in every place that checks
# array names: both integrations, and the page where it has the line.
file(GLOB_RECURSE places "${SOURCE_DIR}/web/*.js" "${SOURCE_DIR}/web/*.html")
set(keyword_lines "")
foreach(file IN ITEMS "${SOURCE_DIR}/cmake/tafelix-add-bitmap.cmake" "${SOURCE_DIR}/share/tafelix/tafelix.mk"
                      ${places})
  file(READ "${file}" text)
  string(REGEX MATCH "auto break [A-Za-z0-9_ ]*_Decimal128" line "${text}")
  if(line)
    list(APPEND keyword_lines "${line}")
  elseif(NOT file MATCHES "/web/")
    message(FATAL_ERROR "${file} has no line of C keywords")
  endif()
endforeach()
list(REMOVE_DUPLICATES keyword_lines)
list(LENGTH keyword_lines count)
if(NOT count EQUAL 1 OR NOT keyword_lines MATCHES " while .* _Decimal128$")
  message(FATAL_ERROR "the lines of C keywords differ: ${keyword_lines}")
endif()

# The calls come before the first rule: the program stays the default goal.
# Blanks after the commas do not count.
set(makefile [[
$(eval $(call tafelix_bitmap,gen/pic.h,art/pic.bmp,pic))
$(eval $(call tafelix_bitmap, gen/marked/pic_marked.h, art/pic.bmp, pic_marked, -wt))
$(eval $(call tafelix_bitmap,gen/wide.h,art/it's&wide.bmp,wide))
$(eval $(call tafelix_bitmap,gen/tall.h,art/tall.bmp,tall))
$(eval $(call tafelix_bitmap,gen/bad.h,art/bad.bmp,bad))
show: main.c gen/pic.h gen/pic_size.h gen/marked/pic_marked.h gen/marked/pic_marked_size.h \
      gen/wide_size.h gen/tall_size.h
	$(CC) -Wall -Wextra -pedantic -Werror -o $@ -Igen -Igen/marked main.c
@calls@
pictures: pictures.c $(patsubst %,gen/it's&pics/%.h,@arrays@) $(patsubst %,gen/it's&pics/%_size.h,@arrays@)
	$(CC) -Wall -Wextra -pedantic -Werror -o $@ -I"gen/it's&pics" pictures.c
refused: $(patsubst %,gen/it's&pics/%.h,@arraysfail@)
]])
# The pictures (not names make refuses); headers in a folder holding ' and &.
list(FILTER picture_rows EXCLUDE REGEX "^[^|]*[%[]")
set(calls "")
set(arrays "")
foreach(row IN LISTS picture_rows)
  picture_row("${row}")
  string(REGEX MATCH "^fail" fail "${want}")
  string(APPEND calls "$(eval $(call tafelix_bitmap,gen/it's&pics/${array}.h,${file},${array},${switch},${background}))\n")
  string(APPEND arrays${fail} " ${array}")
endforeach()
string(CONFIGURE "${makefile}" makefile @ONLY)
set(main_c [[
#include <stdio.h>
#include "pic.h"
#include "pic_size.h"
#include "pic_marked.h"
#include "pic_marked_size.h"
#include "wide_size.h"
#include "tall_size.h"
int main(void)
{
    int i;
    for (i = 0; i < PIC_WIDTH * PIC_HEIGHT; ++i) printf("%d\n", pic[i]);
    printf("--\n");
    for (i = 0; i < PIC_MARKED_WIDTH * PIC_MARKED_HEIGHT; ++i) printf("%d\n", pic_marked[i]);
    printf("--\n%d x %d, %d x %d\n", PIC_WIDTH, PIC_HEIGHT, PIC_MARKED_WIDTH, PIC_MARKED_HEIGHT);
    printf("%d x %d, %d x %d\n", WIDE_WIDTH, WIDE_HEIGHT, TALL_WIDTH, TALL_HEIGHT);
    return 0;
}
]])

# Fails unless `made` has the bytes that tafelix-size.cmake writes for the
# bitmap and the array.
function(expect_same_size_header made bitmap array)
  run_checked("tafelix-size.cmake" COMMAND "${CMAKE_COMMAND}" "-DBITMAP=${bitmap}" "-DNAME=${array}"
    "-DOUT=${dir}/want_size.h" -P "${size_script}")
  run_checked("${where}: ${made} as tafelix-size.cmake writes it"
    COMMAND "${CMAKE_COMMAND}" -E compare_files "${made}" "${dir}/want_size.h")
endfunction()

# Runs make; want_status is a number or "fails". The output goes to `log`.
function(run_make what want_status)
  execute_process(COMMAND "${GNU_MAKE}" "CC=${C_COMPILER}" ${ARGN} WORKING_DIRECTORY "${dir}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(want_status STREQUAL "fails" AND status EQUAL 0 OR
     NOT want_status STREQUAL "fails" AND NOT status EQUAL want_status)
    message(FATAL_ERROR "${where}: ${what}: have status ${status}, want ${want_status}\n${out}")
  endif()
  set(log "${out}" PARENT_SCOPE)
endfunction()

# Draws art/pic.bmp, makes and checks what the program prints.
function(build_and_check what width rows order)
  run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${dir}/art/pic.bmp" ${width} ${rows} 33 ${order}
    --values "${dir}/values.txt" --marked "${dir}/marked.txt")
  file(READ "${dir}/values.txt" values)
  file(READ "${dir}/marked.txt" marked)
  run_make("${what}" 0 ${ARGN})
  set(log "${log}" PARENT_SCOPE)
  run_checked("${where}: ${what}: run" COMMAND "${dir}/show" OUTPUT_VARIABLE have)
  set(want "${values}--\n${marked}--\n${width} x ${rows}, ${width} x ${rows}\n300 x 2, 3 x 260\n")
  if(NOT have STREQUAL want)
    message(FATAL_ERROR "${where}: ${what}: the program printed\n${have}\nwant\n${want}")
  endif()
endfunction()

fresh_folder("${WORK}")
stand_ins()
set(path "$ENV{PATH}")
foreach(where IN ITEMS installed "source tree")
  if(where STREQUAL "installed")
    # In a folder named with a quote and &, which make takes in an include
    # and the default TAFELIX then holds.
    file(COPY "${PREFIX}/" DESTINATION "${WORK}/it's&prefix")
    set(mk "${WORK}/it's&prefix/share/tafelix/tafelix.mk")
  else()
    set(mk "${SOURCE_DIR}/share/tafelix/tafelix.mk")
    set(ENV{PATH} "${TAFELIX_DIR}:${path}")
  endif()
  # make sees only the names below the project's folder: its own name may
  # hold blanks, quotes, & and ;.
  string(MAKE_C_IDENTIFIER "${where}" dir)
  set(dir "${WORK}/it's a;b&c ${dir}")
  file(MAKE_DIRECTORY "${dir}/art")
  file(WRITE "${dir}/Makefile" "include ${mk}\n${makefile}")
  file(WRITE "${dir}/main.c" "${main_c}")
  # 300 = 0x12C and -260 = 0xFFFFFEFC: fields beyond their lowest byte.
  run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${dir}/art/it's&wide.bmp" 300 2 31)
  run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${dir}/art/tall.bmp" 3 260 32 --top-down)
  # Only bitmaps: no ImageMagick needed.
  build_and_check("make -j4" 7 3 --top-down -j4 "TAFELIX_MAGICK=${WORK}/no/magick")
  expect_conversions("${where}: make -j4" 4)
  # The two size header writers give the same bytes: 7 x 3 and 3 x 260
  # top-down, 300 x 2.
  file(GLOB size_script "${SOURCE_DIR}/cmake/tafelix-size.cmake")
  if(where STREQUAL "installed")
    file(GLOB size_script "${PREFIX}/lib*/cmake/tafelix/tafelix-size.cmake")
  endif()
  foreach(case IN ITEMS "pic|art/pic.bmp" "pic_marked|art/pic.bmp" "wide|art/it's&wide.bmp" "tall|art/tall.bmp")
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 array)
    list(GET case 1 bitmap)
    file(GLOB_RECURSE made "${dir}/gen/${array}_size.h" "${dir}/gen/*/${array}_size.h")
    expect_same_size_header("${made}" "${dir}/${bitmap}" ${array})
  endforeach()
  run_make("make -q after the build" 0 -q)

  execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
  file(TOUCH "${dir}/art/it's&wide.bmp")
  run_make("make -q after touching a bitmap" 1 -q)
  run_make("make after touching a bitmap" 0)
  expect_conversions("${where}: make after touching a bitmap" 1)
  run_make("make -q after the next build" 0 -q)

  execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
  build_and_check("make after redrawing at another size" 6 5 "" -j4)

  run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${dir}/art/bad.bmp" 2 2 35)
  run_make("make with a good bitmap" 0 gen/bad_size.h)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
  file(WRITE "${dir}/art/bad.bmp" "BM, but only text: no bitmap at all, not even a header")
  foreach(attempt IN ITEMS 1 2)
    run_make("make ${attempt} with a rejected bitmap" fails gen/bad_size.h)
    file(GLOB left RELATIVE "${dir}/gen" "${dir}/gen/bad*")
    if(NOT log MATCHES "Fehler beim lesen der Daten" OR left)
      message(FATAL_ERROR "${where}: make ${attempt} with a rejected bitmap: want tafelix's "
                          "message and no header, have left '${left}'\n${log}")
    endif()
  endforeach()

  # Pictures of every kind through ImageMagick: each header is what tafelix
  # gives for ImageMagick's own bitmap of the picture, and nothing is run
  # that a name spells.
  draw_pictures("${MAGICK}" "${dir}")
  picture_program("${dir}/pictures.c")
  run_make("make pictures" 0 -j2 pictures)
  expect_conversions("${where}: make pictures" 19)
  run_checked("delete the made bitmaps" COMMAND sh -c "rm gen/it*pics/*.h.bmp gen/it*pics/*_size.h" WORKING_DIRECTORY "${dir}")
  run_make("make pictures after deleting the made bitmaps and size headers" 0 pictures)
  run_checked("${where}: run pictures" COMMAND "${dir}/pictures" OUTPUT_VARIABLE sizes)
  run_make("make the pictures that must fail" fails -k refused)
  expect_pictures("${MAGICK}" "${PREFIX}/bin/tafelix${EXE_SUFFIX}" "${dir}" "${dir}/gen/it's&pics" "${sizes}" "${log}")
  get_filename_component(helper "${mk}" DIRECTORY)
  run_checked("by hand" COMMAND sh "${helper}/tafelix-picture.sh" offset.gif by-hand.bmp 204080 WORKING_DIRECTORY "${dir}")
  run_checked("by hand" COMMAND "${CMAKE_COMMAND}" -E compare_files by-hand.bmp "gen/it's&pics/offset.h.bmp" WORKING_DIRECTORY "${dir}")
  foreach(row IN LISTS picture_rows)
    picture_row("${row}")
    if(EXISTS "${dir}/gen/it's&pics/${array}.h.bmp")
      expect_same_size_header("${dir}/gen/it's&pics/${array}_size.h" "${dir}/gen/it's&pics/${array}.h.bmp" ${array})
    endif()
  endforeach()

  # A picture without ImageMagick fails, saying so, and leaves no header.
  execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
  file(TOUCH "${dir}/x'&>PWNED&'.png")
  run_make("make without ImageMagick" fails "TAFELIX_MAGICK=${WORK}/no/magick" "gen/it's&pics/alpha_size.h")
  file(GLOB left "${dir}/gen/it's&pics/alpha*")
  if(NOT log MATCHES "x'&>PWNED&'.png is no 24-bit BMP; ImageMagick converts it" OR left)
    message(FATAL_ERROR "${where}: make without ImageMagick: want it to say so and leave "
                        "no header, have left '${left}'\n${log}")
  endif()
  file(TOUCH "${dir}/rle8.bmp")
  run_make("make with an ImageMagick that gives no size" fails "TAFELIX_MAGICK=echo" "gen/it's&pics/rle8_size.h")
  if(NOT log MATCHES "tafelix: rle8.bmp: ImageMagick gave no size for it" OR EXISTS "${dir}/gen/it's&pics/rle8.h.bmp.err")
    message(FATAL_ERROR "${where}: an ImageMagick that gives no size: want the picture named, nothing left\n${log}")
  endif()

  # Calls refused when the Makefile is read (split by +): nothing is made or run.
  file(WRITE "${dir}/art/p" ": >victim.txt\n")
  file(WRITE "${dir}/victim.txt" "intact")
  file(MAKE_DIRECTORY "${dir}/w")
  foreach(name IN ITEMS "x@S@>victim.txt@S@.png" x "y@S@cd\${IFS}art@S@sh\${IFS}p@S@.png" y "blank .png")
    string(REPLACE "@S@" ";" name "${name}")
    file(TOUCH "${dir}/w/${name}")
  endforeach()
  foreach(case IN ITEMS
      "gen/a.h,art/pic.bmp,int|the array name must not be a C keyword, have 'int'"
      "gen/a.h,art/pic.bmp,_Bool|the array name must not be a C keyword, have '_Bool'"
      "gen/a.h,art/pic.bmp,auto|the array name must not be a C keyword, have 'auto'"
      "gen/a.h,art/pic.bmp,pic+gen/b.h,art/pic.bmp,Pic|there is an array 'pic' already; 'Pic' differs from it at most in case"
      "gen/a.h,art/pic.bmp,a+gen/a.h,art/pic.bmp,b|an earlier call makes gen/a.h or gen/a_size.h already"
      "gen/w.h,$(wildcard w/x*.png),w|the picture 'w/x.>victim.txt.\\.png' holds '.'"
      "gen/w.h,$(wildcard w/y*.png),w|the picture 'w/y.cd..IFS.art.sh..IFS.p..png' holds '.'"
      "gen/w.h,$(firstword w/c,d.png),w|the picture 'w/c,d.png' holds ','"
      "gen/w.h,$(wildcard w/blank*),w|the picture 'w/blank .png' must be one name")
    string(REGEX MATCH "^([^|]*)\\|(.*)$" _ "${case}")
    string(REPLACE "+" ";" calls "${CMAKE_MATCH_1}")
    set(want_message "${CMAKE_MATCH_2}")
    set(refused "include ${mk}\n")
    foreach(call IN LISTS calls)
      string(APPEND refused "$(eval $(call tafelix_bitmap,${call}))\n")
    endforeach()
    string(APPEND refused "all: gen/w.h\n")
    file(WRITE "${dir}/refused.mk" "${refused}")
    run_make("calls ${calls}" fails -f refused.mk)
    file(READ "${dir}/victim.txt" victim)
    if(NOT log MATCHES "${want_message}" OR NOT victim STREQUAL "intact" OR EXISTS "${dir}/gen/w.h")
      message(FATAL_ERROR "${where}: calls ${calls}: want '${want_message}', nothing run or made\n${log}")
    endif()
  endforeach()
  message(STATUS "${where}: passed")
endforeach()
