# A fresh CMake project that uses the installed package as a user would:
# find_package(tafelix), tafelix_add_bitmap() with and without
# TRANSPARENT_WHITE and SIZE, #include of the generated headers. Checks the
# values and the size the built program sees (the size also in a source that
# includes only the size header), that the headers are made again when the
# bitmap or the converter changes (and only then), that a rejected bitmap
# fails the build every time until it is mended, that a new size reaches
# every source also under Ninja, that dropping SIZE takes the size header
# away, and that wrong calls fail at configure time. Then the same project
# as the parent of tafelix's source folder. All that without ImageMagick.
# Last, pictures of every kind through ImageMagick, in a folder whose name
# holds a blank, a quote, & and ;, named so that a shell would run a
# command, and a project with a PNG but no ImageMagick.
#
#   -DPREFIX=        the installed tafelix   -DWRITE_BITMAP=  the bitmap writer
#   -DWORK=          a scratch folder        -DEXE_SUFFIX=  .exe or nothing
#   -DSOURCE_DIR=    tafelix's sources
#   -DGENERATOR=, -DC_COMPILER=  for the consumer project
include("${CMAKE_CURRENT_LIST_DIR}/helpers.cmake")

set(src "${WORK}/src")
set(bin "${WORK}/build")
fresh_folder("${WORK}")
file(MAKE_DIRECTORY "${src}/art")

tafelix_version(version)
set(find_tafelix "find_package(tafelix ${version} EXACT REQUIRED)")
set(use_tafelix "${find_tafelix}")
function(write_project call)
  file(WRITE "${src}/CMakeLists.txt" "
cmake_minimum_required(VERSION 3.20)
project(consumer LANGUAGES C)
${use_tafelix}
add_executable(show main.c other.c)
${call}
")
endfunction()
set(good_calls "
tafelix_add_bitmap(show art/pic.bmp NAME pic SIZE)
tafelix_add_bitmap(show \${CMAKE_CURRENT_SOURCE_DIR}/art/pic.bmp NAME pic_marked TRANSPARENT_WHITE)
")
write_project("${good_calls}")
file(WRITE "${src}/main.c" [[
#include <stdio.h>
#include "pic.h"
#include "pic_size.h"
#include "pic_marked.h"
void print_size(void);
int main(void)
{
    size_t i;
    int x, y;
    for (i = 0; i < sizeof pic / sizeof pic[0]; ++i) printf("%d\n", pic[i]);
    printf("--\n");
    for (i = 0; i < sizeof pic_marked / sizeof pic_marked[0]; ++i) printf("%d\n", pic_marked[i]);
    printf("--\n");
    print_size();
    /* Column by column: only the right width and height give the want. */
    for (x = 0; x < PIC_WIDTH; ++x)
        for (y = 0; y < PIC_HEIGHT; ++y) printf("%d\n", pic[y * PIC_WIDTH + x]);
    return 0;
}
]])
file(WRITE "${src}/other.c" [[
#include <stdio.h>
#include "pic_size.h"
void print_size(void)
{
    printf("%d x %d, last %d\n", PIC_WIDTH, PIC_HEIGHT, pic[PIC_WIDTH * PIC_HEIGHT - 1]);
}
]])

# Writes art/pic.bmp and the output the program must then print.
function(new_picture width rows seed order)
  # A second apart, so that the new bitmap is newer than the headers even
  # where file times have whole seconds.
  if(EXISTS "${src}/art/pic.bmp")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
  endif()
  run_checked("write_bitmap"
    COMMAND "${WRITE_BITMAP}" "${src}/art/pic.bmp" ${width} ${rows} ${seed} ${order}
            --values "${WORK}/values.txt" --marked "${WORK}/marked.txt")
  file(READ "${WORK}/values.txt" values)
  file(READ "${WORK}/marked.txt" marked)
  file(STRINGS "${WORK}/values.txt" value_list)
  list(GET value_list -1 last)
  set(columns "")
  math(EXPR x_end "${width} - 1")
  math(EXPR y_end "${rows} - 1")
  foreach(x RANGE ${x_end})
    foreach(y RANGE ${y_end})
      math(EXPR at "${y} * ${width} + ${x}")
      list(GET value_list ${at} value)
      string(APPEND columns "${value}\n")
    endforeach()
  endforeach()
  set(want "${values}--\n${marked}--\n${width} x ${rows}, last ${last}\n${columns}" PARENT_SCOPE)
endfunction()

function(build_and_check what)
  run_checked("${what}: build" COMMAND "${CMAKE_COMMAND}" --build "${bin}" OUTPUT_VARIABLE log)
  set(log "${log}" PARENT_SCOPE)
  run_checked("${what}: run" COMMAND "${bin}/show" OUTPUT_VARIABLE have)
  if(NOT have STREQUAL want)
    message(FATAL_ERROR "${what}: the program printed\n${have}\nwant\n${want}")
  endif()
endfunction()

# First build: top-down picture of odd width.
new_picture(7 3 11 --top-down)
# Only bitmaps: no ImageMagick needed.
run_checked("configure"
  COMMAND "${CMAKE_COMMAND}" -S "${src}" -B "${bin}" -G "${GENERATOR}"
          "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_PREFIX_PATH=${PREFIX}"
          "-DTAFELIX_MAGICK=${WORK}/no/magick")
build_and_check("first build")
expect_conversions("first build" 2)

build_and_check("build with nothing changed")
expect_conversions("build with nothing changed" 0)

new_picture(5 4 12 "")
build_and_check("build after a new bitmap")
expect_conversions("build after a new bitmap" 2)

# A newer converter (here only a newer file time) makes the headers again.
execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
file(TOUCH "${PREFIX}/bin/tafelix${EXE_SUFFIX}")
build_and_check("build after a new converter")
expect_conversions("build after a new converter" 2)

# A bitmap the converter rejects fails the build, and fails it again on the
# next try rather than leaving an empty header behind as up to date.
execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
file(WRITE "${src}/art/pic.bmp" "BM, but only text: no bitmap at all, not even a header")
foreach(attempt IN ITEMS 1 2)
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${bin}"
    RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(status EQUAL 0)
    message(FATAL_ERROR "build ${attempt} with a rejected bitmap succeeded\n${log}")
  endif()
  if(NOT log MATCHES "Fehler beim lesen der Daten" OR log MATCHES "Building C object")
    message(FATAL_ERROR "build ${attempt} with a rejected bitmap: want it to stop at the "
                        "conversion, with tafelix's message\n${log}")
  endif()
endforeach()
new_picture(3 3 13 --top-down)
build_and_check("build after mending the bitmap")

# Without SIZE, pic_size.h leaves the include path: a source that still
# includes it fails to compile rather than compiling with an old size.
write_project("tafelix_add_bitmap(show art/pic.bmp NAME pic)
tafelix_add_bitmap(show art/pic.bmp NAME pic_marked TRANSPARENT_WHITE)")
run_checked("configure without SIZE" COMMAND "${CMAKE_COMMAND}" "${bin}")
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${bin}"
  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
file(GLOB_RECURSE left "${bin}/*pic_size.h")
if(status EQUAL 0 OR NOT log MATCHES "pic_size\\.h" OR left)
  message(FATAL_ERROR "build without SIZE: want it to fail for want of pic_size.h, "
                      "have status ${status} and left '${left}'\n${log}")
endif()
write_project("${good_calls}")
build_and_check("build with SIZE again")

# Ninja decides what is out of date before it runs a command: were the size
# header not an output of the conversion, other.c would keep the old size.
find_program(NINJA ninja NO_CACHE)
if(NOT NINJA AND "$ENV{TAFELIX_REQUIRE_ALL}" STREQUAL "1")
  message(FATAL_ERROR "ninja is required but missing")
endif()
if(NINJA AND NOT GENERATOR STREQUAL "Ninja")
  set(bin "${WORK}/build-ninja")
  run_checked("configure for Ninja"
    COMMAND "${CMAKE_COMMAND}" -S "${src}" -B "${bin}" -G Ninja "-DCMAKE_MAKE_PROGRAM=${NINJA}"
            "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_PREFIX_PATH=${PREFIX}")
  build_and_check("first Ninja build")
  new_picture(6 2 14 "")
  build_and_check("Ninja build after redrawing at another size")
endif()

# Wrong calls stop at configure time with a message naming the fault.
foreach(case IN ITEMS
    "tafelix_add_bitmap(show art/pic.bmp)|NAME must be a C identifier"
    "tafelix_add_bitmap(show art/pic.bmp NAME 9lives)|NAME must be a C identifier"
    "tafelix_add_bitmap(show art/pic.bmp NAME -wt)|NAME must be a C identifier"
    "tafelix_add_bitmap(show art/pic.bmp NAME int)|NAME must not be a C keyword, have 'int'"
    "tafelix_add_bitmap(show art/pic.bmp NAME _Bool)|NAME must not be a C keyword, have '_Bool'"
    "tafelix_add_bitmap(show art/pic.bmp NAME auto)|NAME must not be a C keyword, have 'auto'"
    "tafelix_add_bitmap(show art/pic.svg NAME pic)|art/pic.svg: tafelix takes .png, .jpg, .jpeg, .jpe, .gif, .webp, .bmp and .dib pictures"
    "tafelix_add_bitmap(show art/pic.bmp NAME pic BACKGROUND 12345)|BACKGROUND must be six hex digits RRGGBB, have '12345'"
    "tafelix_add_bitmap(show art/pic.bmp NAME pic)
     tafelix_add_bitmap(show art/pic.bmp NAME Pic)|show has an array 'pic' already; 'Pic' differs from it at most in case"
    "tafelix_add_bitmap(show art/pic.bmp NAME pic WHITE)|unknown arguments: WHITE"
    "tafelix_add_bitmap(nosuchtarget art/pic.bmp NAME pic)|nosuchtarget is not a target"
    "tafelix_add_bitmap(show \"art/x\;y.png\" NAME pic)|art/x.*y.png: a picture's path must not hold")
  string(REGEX MATCH "^([^|]*)\\|(.*)$" _ "${case}")
  set(call "${CMAKE_MATCH_1}")
  set(want_message "${CMAKE_MATCH_2}")
  write_project("${call}")
  execute_process(COMMAND "${CMAKE_COMMAND}" "${bin}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX REPLACE "[ \t\r\n]+" " " out_flat "${out}")
  if(status EQUAL 0 OR NOT out_flat MATCHES "${want_message}")
    message(FATAL_ERROR "${call}: have status ${status}, want a failure saying '${want_message}'\n${out}")
  endif()
endforeach()

# A parent project with tests of its own that adds tafelix's source folder:
# it gets the program and tafelix_add_bitmap(); tafelix defines no other
# target (no test, example, benchmark or fuzz target) and needs no GoogleTest.
string(CONFIGURE [[
include(CTest)
add_subdirectory("@SOURCE_DIR@" tafelix)
function(targets_below dir out)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(folders DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(folder IN LISTS folders)
    targets_below("${folder}" more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()
targets_below("@SOURCE_DIR@" defined)
if(NOT defined STREQUAL "tafelix_core;tafelix")
  message(FATAL_ERROR "tafelix defines the targets ${defined}, want tafelix_core;tafelix")
endif()]] use_tafelix @ONLY)
write_project("${good_calls}")
set(bin "${WORK}/parent-build")
run_checked("configure the parent project"
  COMMAND "${CMAKE_COMMAND}" -S "${src}" -B "${bin}" -G "${GENERATOR}"
          "-DCMAKE_C_COMPILER=${C_COMPILER}" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON)
build_and_check("build of the parent project")
expect_conversions("build of the parent project" 2)

# tafelix on its own with BUILD_TESTING off, as the release preset has it:
# the program alone, and no GoogleTest looked for.
run_checked("configure tafelix with BUILD_TESTING off"
  COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK}/program-only" -G "${GENERATOR}"
          -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON)
foreach(folder IN ITEMS tests examples bench fuzz)
  if(EXISTS "${WORK}/program-only/${folder}")
    message(FATAL_ERROR "with BUILD_TESTING off, tafelix still adds ${folder}/")
  endif()
endforeach()

# Pictures of every kind through ImageMagick (see helpers.cmake), beside a
# BMP, in a source folder whose name holds a blank, a quote and & (CMake
# takes ; for a list separator), built in a folder named with %d.
need_program(MAGICK magick convert)
stand_ins()
set(src "${WORK}/it's a&b")
set(bin "${WORK}/pictures-b%d")
file(MAKE_DIRECTORY "${src}/art")
draw_pictures("${MAGICK}" "${src}/art")
run_checked("write_bitmap" COMMAND "${WRITE_BITMAP}" "${src}/art/plain.Bmp" 3 2 15)
set(calls "tafelix_add_bitmap(pictures art/plain.Bmp NAME plain)\n")
foreach(row IN LISTS picture_rows)
  picture_row("${row}")
  string(REGEX MATCH "^fail" refused "${want}")
  string(REPLACE "-wt" "TRANSPARENT_WHITE" option "${switch}")
  string(REGEX REPLACE ".+" "BACKGROUND \\0" background "${background}")
  string(APPEND calls "tafelix_add_bitmap(pictures${refused} \"art/${file}\" NAME ${array} ${option} ${background} SIZE)\n")
endforeach()
picture_program("${src}/pictures.c")
file(APPEND "${src}/pictures.c" "#include \"plain.h\"\n")
file(WRITE "${src}/CMakeLists.txt" "
cmake_minimum_required(VERSION 3.20)
project(pictures LANGUAGES C)
${find_tafelix}
add_executable(pictures pictures.c)
add_library(picturesfail STATIC pictures.c)
${calls}
")
run_checked("configure the pictures"
  COMMAND "${CMAKE_COMMAND}" -S "${src}" -B "${bin}" -G "${GENERATOR}"
          "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_PREFIX_PATH=${PREFIX}")
run_checked("build the pictures" COMMAND "${CMAKE_COMMAND}" --build "${bin}" --target pictures OUTPUT_VARIABLE log)
expect_conversions("build the pictures" 21)
run_checked("run the pictures" COMMAND "${bin}/pictures" OUTPUT_VARIABLE sizes)
string(REGEX MATCH "Ninja" ninja "${GENERATOR}")
string(REPLACE "Ninja" "0" ninja "${ninja}")
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${bin}" --target picturesfail -- -k ${ninja}
  OUTPUT_VARIABLE refused ERROR_VARIABLE refused)
expect_pictures("${MAGICK}" "${PREFIX}/bin/tafelix${EXE_SUFFIX}" "${src}/art" "${bin}/tafelix/pictures"
  "${sizes}" "${refused}")
file(GLOB convert "${PREFIX}/lib*/cmake/tafelix/tafelix-convert.cmake")
run_checked("by hand" COMMAND "${CMAKE_COMMAND}" -DPICTURE=art/offset.gif -DBITMAP=by-hand.bmp -DBACKGROUND=204080 -P "${convert}" WORKING_DIRECTORY "${src}")
run_checked("by hand" COMMAND "${CMAKE_COMMAND}" -E compare_files "${src}/by-hand.bmp" "${bin}/tafelix/pictures/offset.bmp")

# A picture but no ImageMagick: configure says so, naming both.
execute_process(COMMAND "${CMAKE_COMMAND}" "-DTAFELIX_MAGICK=${WORK}/no/magick" "${bin}"
  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
string(REGEX REPLACE "[ \t\r\n]+" " " log_flat "${log}")
if(status EQUAL 0 OR NOT log_flat MATCHES "art/x'&>PWNED&'\\.png is no BMP; ImageMagick converts it, and ImageMagick was not found")
  message(FATAL_ERROR "a picture without ImageMagick: want configure to fail, naming "
                      "ImageMagick and the picture; have status ${status}\n${log}")
endif()
