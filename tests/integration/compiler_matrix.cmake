# The include file, and the size header beside it (tafelix-size.cmake, as
# tafelix_add_bitmap(... SIZE) writes it), as C and C++ of every common
# standard, with gcc and clang: each must accept them with -Wall -Wextra
# -pedantic -Werror, and a program that includes them must check the size and
# print the bitmap's every pixel. Also pins what the README says of the
# format's limits: strict C89 rejects the // comment line, and a count of 0
# (a zero-length array with an empty initializer) passes only as a GNU
# extension. And the README's way to keep the array in a microcontroller's
# flash: `const` before the #include, the size header's `extern int`
# declaration hidden behind another name (beside the const definition it does
# not compile), `extern const` as the other sources declare it.
#
#   -DTAFELIX=  the program   -DWRITE_BITMAP=  the bitmap writer   -DWORK=
#   -DSIZE_SCRIPT=  tafelix-size.cmake
include("${CMAKE_CURRENT_LIST_DIR}/helpers.cmake")
need_program(GCC gcc)
need_program(GXX g++)
need_program(CLANG clang)
need_program(CLANGXX clang++)

fresh_folder("${WORK}")
# 13x7 pixels; the bitmap writer makes the first pure white (so -1 under -wt)
# and the last 0xFFFFFE, and writes the values the program must print.
run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${WORK}/pixels.bmp" 13 7 5 --marked "${WORK}/want.txt")
file(READ "${WORK}/want.txt" want_pixels)
set(want_empty "0\n")
run_checked("tafelix" COMMAND "${TAFELIX}" pixels.bmp pixels.h pixels -wt WORKING_DIRECTORY "${WORK}")
run_checked("size header" COMMAND "${CMAKE_COMMAND}" "-DBITMAP=${WORK}/pixels.bmp" -DNAME=pixels
  "-DOUT=${WORK}/pixels_size.h" -P "${SIZE_SCRIPT}")
run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${WORK}/empty.bmp" 0 0 5)
run_checked("tafelix" COMMAND "${TAFELIX}" empty.bmp empty.h empty WORKING_DIRECTORY "${WORK}")

# The size header before and after the definition, and twice (its guard).
set(use_pixels [[
#include <stdio.h>
#include "pixels_size.h"
#include "pixels.h"
#include "pixels_size.h"
int main(void)
{
    size_t i;
    if (PIXELS_WIDTH != 13 || PIXELS_HEIGHT != 7) return 1;
    for (i = 0; i < sizeof pixels / sizeof pixels[0]; ++i) printf("%d\n", pixels[i]);
    return 0;
}
]])
file(WRITE "${WORK}/pixels.c" "${use_pixels}")
file(WRITE "${WORK}/pixels.cpp" "${use_pixels}")
set(use_flash [[
#include <stdio.h>
#define pixels pixels_unused
#include "pixels_size.h"
#undef pixels
extern const int pixels[PIXELS_WIDTH * PIXELS_HEIGHT];
const
#include "pixels.h"
int main(void)
{
    int i;
    for (i = 0; i < PIXELS_WIDTH * PIXELS_HEIGHT; ++i) printf("%d\n", pixels[i]);
    return 0;
}
]])
file(WRITE "${WORK}/flash.c" "${use_flash}")
file(WRITE "${WORK}/flash.cpp" "${use_flash}")
set(want_flash "${want_pixels}")
file(WRITE "${WORK}/clash.c" "#include \"pixels_size.h\"\nconst\n#include \"pixels.h\"\nint main(void) { return pixels[0]; }\n")
set(use_empty [[
#include <stdio.h>
#include "empty.h"
int main(void)
{
    printf("%d\n", (int)sizeof empty);
    return 0;
}
]])
file(WRITE "${WORK}/empty.c" "${use_empty}")
file(WRITE "${WORK}/empty.cpp" "${use_empty}")

set(strict "-Wall -Wextra -pedantic -Werror")
# compiler | flags | source | accepted or rejected
set(cases
  "GCC|-std=c99 ${strict}|pixels.c|accepted"
  "GCC|-std=c11 ${strict}|pixels.c|accepted"
  "GCC|-std=c17 ${strict}|pixels.c|accepted"
  "CLANG|-std=c99 ${strict}|pixels.c|accepted"
  "CLANG|-std=c11 ${strict}|pixels.c|accepted"
  "CLANG|-std=c17 ${strict}|pixels.c|accepted"
  "GXX|-std=c++98 ${strict}|pixels.cpp|accepted"
  "GXX|-std=c++11 ${strict}|pixels.cpp|accepted"
  "GXX|-std=c++17 ${strict}|pixels.cpp|accepted"
  "GXX|-std=c++20 ${strict}|pixels.cpp|accepted"
  "CLANGXX|-std=c++98 ${strict}|pixels.cpp|accepted"
  "CLANGXX|-std=c++11 ${strict}|pixels.cpp|accepted"
  "CLANGXX|-std=c++17 ${strict}|pixels.cpp|accepted"
  "CLANGXX|-std=c++20 ${strict}|pixels.cpp|accepted"
  "GCC|-std=c89 -pedantic-errors|pixels.c|rejected"
  "CLANG|-std=c89 -pedantic-errors|pixels.c|rejected"
  "GCC|-std=c17 -pedantic-errors|empty.c|rejected"
  "CLANG|-std=c17 -pedantic-errors|empty.c|rejected"
  "GXX|-std=c++17 -pedantic-errors|empty.cpp|rejected"
  "CLANGXX|-std=c++17 -pedantic-errors|empty.cpp|rejected"
  "GCC|-std=gnu17 -Wall -Wextra -Werror|empty.c|accepted"
  "CLANG|-std=gnu17 -Wall -Wextra -Werror|empty.c|accepted"
  "GXX|-std=gnu++17 -Wall -Wextra -Werror|empty.cpp|accepted"
  "CLANGXX|-std=gnu++17 -Wall -Wextra -Werror|empty.cpp|accepted"
  "GCC|-std=c99 ${strict}|flash.c|accepted"
  "CLANG|-std=c17 ${strict}|flash.c|accepted"
  "GXX|-std=c++98 ${strict}|flash.cpp|accepted"
  "CLANGXX|-std=c++17 ${strict}|flash.cpp|accepted"
  "GCC|-std=c17|clash.c|rejected"
  "CLANG|-std=c17|clash.c|rejected")

set(failures "")
set(index 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 compiler)
  list(GET case 1 flags)
  list(GET case 2 source)
  list(GET case 3 want)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  math(EXPR index "${index} + 1")
  set(exe "${WORK}/program${index}")
  get_filename_component(name "${${compiler}}" NAME)
  list(JOIN flags " " shown)
  set(what "${name} ${shown} ${source}")
  execute_process(COMMAND "${${compiler}}" ${flags} -o "${exe}" "${source}"
    WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(status EQUAL 0)
    set(have accepted)
    get_filename_component(stem "${source}" NAME_WE)
    execute_process(COMMAND "${exe}" OUTPUT_VARIABLE values)
    if(NOT "${values}" STREQUAL "${want_${stem}}")
      string(APPEND failures "${what}: compiled, but the program prints other values:\n${values}\n")
    endif()
  else()
    set(have rejected)
  endif()
  message(STATUS "${what}: ${have}")
  if(NOT have STREQUAL want)
    string(APPEND failures "${what}: have ${have}, want ${want}\n${out}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
