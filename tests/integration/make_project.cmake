# A small project driven by GNU make that includes tafelix.mk: once the
# installed one, which runs the tafelix installed beside it, and once the one
# in the source tree, which finds tafelix on PATH. Checks the values and the
# sizes the built program sees with and without -wt, over several bitmaps
# made under make -j4; that make -q finds everything up to date after a build
# and not after the bitmap changed, and only that bitmap's headers are made
# again; that a redrawn size reaches the program; that a rejected bitmap
# fails the make twice in a row and leaves no header behind.
#
#   -DPREFIX=  the installed tafelix    -DSOURCE_DIR=  the source tree
#   -DTAFELIX_DIR=  the folder of the built tafelix
#   -DWRITE_BITMAP=  the bitmap writer  -DWORK=  a scratch folder
#   -DC_COMPILER=  for the project
include("${CMAKE_CURRENT_LIST_DIR}/helpers.cmake")
need_program(GNU_MAKE gmake make)

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
    printf("--\n%d x %d\n%d x %d\n", WIDE_WIDTH, WIDE_HEIGHT, TALL_WIDTH, TALL_HEIGHT);
    return 0;
}
]])

# Runs make in the project; the log goes to `log` in the caller.
function(run_make what want_status)
  execute_process(COMMAND "${GNU_MAKE}" "CC=${C_COMPILER}" ${ARGN}
    WORKING_DIRECTORY "${dir}" RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(want_status STREQUAL "fails" AND status EQUAL 0 OR
     NOT want_status STREQUAL "fails" AND NOT status EQUAL want_status)
    message(FATAL_ERROR "${where}: ${what}: have status ${status}, want ${want_status}\n${out}")
  endif()
  set(log "${out}" PARENT_SCOPE)
endfunction()

function(expect_conversions what n)
  string(REGEX MATCHALL "tafelix: [^\n]* -> [^\n]*\\.h" made "${log}")
  list(LENGTH made have)
  if(NOT have EQUAL n)
    message(FATAL_ERROR "${where}: ${what}: have ${have} conversions, want ${n}\n${log}")
  endif()
endfunction()

# Writes art/pic.bmp (and the values the program must print).
function(new_picture width rows seed)
  run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${dir}/art/pic.bmp" ${width} ${rows} ${seed} ${ARGN}
    --values "${dir}/values.txt" --marked "${dir}/marked.txt")
  file(READ "${dir}/values.txt" values)
  file(READ "${dir}/marked.txt" marked)
  set(want "${values}--\n${marked}--\n300 x 2\n3 x 260\n" PARENT_SCOPE)
endfunction()

function(build_and_check what)
  run_make("${what}" 0 ${ARGN})
  set(log "${log}" PARENT_SCOPE)
  run_checked("${where}: ${what}: run" COMMAND "${dir}/show" OUTPUT_VARIABLE have)
  if(NOT have STREQUAL want)
    message(FATAL_ERROR "${where}: ${what}: the program printed\n${have}\nwant\n${want}")
  endif()
endfunction()

fresh_folder("${WORK}")
set(path "$ENV{PATH}")
# where | tafelix.mk | PATH
foreach(case IN ITEMS "installed|${PREFIX}/share/tafelix/tafelix.mk|${path}"
                      "source tree|${SOURCE_DIR}/share/tafelix/tafelix.mk|${TAFELIX_DIR}:${path}")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 where)
  list(GET case 1 mk)
  list(GET case 2 search_path)
  set(ENV{PATH} "${search_path}")
  string(MAKE_C_IDENTIFIER "${where}" tag)
  set(dir "${WORK}/${tag}")
  file(MAKE_DIRECTORY "${dir}/art")
  file(WRITE "${dir}/main.c" "${main_c}")
  # The calls come first: the program stays the default goal.
  file(WRITE "${dir}/Makefile" "include ${mk}
$(eval $(call tafelix_bitmap,gen/pic.h,art/pic.bmp,pic))
$(eval $(call tafelix_bitmap,gen/marked/pic_marked.h,art/pic.bmp,pic_marked,-wt))
$(eval $(call tafelix_bitmap,gen/wide.h,art/wide.bmp,wide))
$(eval $(call tafelix_bitmap,gen/tall.h,art/tall.bmp,tall))
$(eval $(call tafelix_bitmap,gen/bad.h,art/bad.bmp,bad))
show: main.c gen/pic.h gen/pic_size.h gen/marked/pic_marked.h gen/marked/pic_marked_size.h \\
      gen/wide_size.h gen/tall_size.h
	$(CC) -Wall -Wextra -pedantic -Werror -o $@ -Igen -Igen/marked main.c
")
  run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${dir}/art/wide.bmp" 300 2 31)
  run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${dir}/art/tall.bmp" 3 260 32 --top-down)
  new_picture(7 3 33 --top-down)
  build_and_check("make -j4" -j4)
  expect_conversions("make -j4" 4)
  run_make("make -q after the build" 0 -q)

  execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
  file(TOUCH "${dir}/art/pic.bmp")
  run_make("make -q after touching the bitmap" 1 -q)
  build_and_check("make after touching the bitmap")
  expect_conversions("make after touching the bitmap" 2)
  run_make("make -q after the second build" 0 -q)

  execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
  new_picture(6 5 34)
  build_and_check("make after redrawing at another size" -j4)

  # A good bitmap, then one tafelix rejects: both headers go, twice.
  run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${dir}/art/bad.bmp" 2 2 35)
  run_make("make with a good bitmap" 0 gen/bad_size.h)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
  file(WRITE "${dir}/art/bad.bmp" "BM, but only text: no bitmap at all, not even a header")
  foreach(attempt IN ITEMS 1 2)
    run_make("make ${attempt} with a rejected bitmap" fails gen/bad_size.h)
    if(NOT log MATCHES "Fehler beim lesen der Daten")
      message(FATAL_ERROR "${where}: make ${attempt} with a rejected bitmap: want tafelix's message\n${log}")
    endif()
    file(GLOB left RELATIVE "${dir}/gen" "${dir}/gen/bad*")
    if(left)
      message(FATAL_ERROR "${where}: make ${attempt} with a rejected bitmap left ${left}")
    endif()
  endforeach()
  message(STATUS "${where}: passed")
endforeach()
