# A small GNU make project on tafelix.mk: the installed one, which runs the
# tafelix beside it, and the source tree's, which finds tafelix on PATH.
# Checks values and sizes with and without -wt over several bitmaps under
# make -j4; make -q after a build and after touching a bitmap (only its
# headers are made again); a redrawn size; a rejected bitmap fails twice in a
# row and leaves no header behind.
#
#   -DPREFIX=  the installed tafelix    -DSOURCE_DIR=  the source tree
#   -DTAFELIX_DIR=  the folder of the built tafelix
#   -DWRITE_BITMAP=  the bitmap writer  -DWORK=  a scratch folder
#   -DC_COMPILER=  for the project
include("${CMAKE_CURRENT_LIST_DIR}/helpers.cmake")
need_program(GNU_MAKE gmake make)

# The calls come before the first rule: the program stays the default goal.
# Blanks after the commas do not count.
set(makefile [[
$(eval $(call tafelix_bitmap,gen/pic.h,art/pic.bmp,pic))
$(eval $(call tafelix_bitmap, gen/marked/pic_marked.h, art/pic.bmp, pic_marked, -wt))
$(eval $(call tafelix_bitmap,gen/wide.h,art/wide.bmp,wide))
$(eval $(call tafelix_bitmap,gen/tall.h,art/tall.bmp,tall))
$(eval $(call tafelix_bitmap,gen/bad.h,art/bad.bmp,bad))
show: main.c gen/pic.h gen/pic_size.h gen/marked/pic_marked.h gen/marked/pic_marked_size.h \
      gen/wide_size.h gen/tall_size.h
	$(CC) -Wall -Wextra -pedantic -Werror -o $@ -Igen -Igen/marked main.c
]])
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
set(path "$ENV{PATH}")
foreach(where IN ITEMS installed "source tree")
  if(where STREQUAL "installed")
    set(mk "${PREFIX}/share/tafelix/tafelix.mk")
  else()
    set(mk "${SOURCE_DIR}/share/tafelix/tafelix.mk")
    set(ENV{PATH} "${TAFELIX_DIR}:${path}")
  endif()
  string(MAKE_C_IDENTIFIER "${where}" dir)
  set(dir "${WORK}/${dir}")
  file(MAKE_DIRECTORY "${dir}/art")
  file(WRITE "${dir}/Makefile" "include ${mk}\n${makefile}")
  file(WRITE "${dir}/main.c" "${main_c}")
  # 300 = 0x12C and -260 = 0xFFFFFEFC: fields beyond their lowest byte.
  run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${dir}/art/wide.bmp" 300 2 31)
  run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${dir}/art/tall.bmp" 3 260 32 --top-down)
  build_and_check("make -j4" 7 3 --top-down -j4)
  expect_conversions("${where}: make -j4" 4)
  run_make("make -q after the build" 0 -q)

  execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
  file(TOUCH "${dir}/art/wide.bmp")
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
  message(STATUS "${where}: passed")
endforeach()
